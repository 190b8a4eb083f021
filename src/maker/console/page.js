"use strict";
// The maker's console: the time line from timeline.json, the show's state from the WebSocket's
// events, and the player's commands sent back over it.
(function () {
  const token = new URLSearchParams(location.search).get("token") || "";
  const $ = (id) => document.getElementById(id);
  const timeline = $("timeline"), lanesEl = $("lanes"), playhead = $("playhead");
  const range = $("range"), marks = $("marks"), ruler = $("ruler"), loudness = $("loudness");
  let data = null;        // the last timeline.json
  let reach = 1;          // seconds across the time line's width
  let socket = null;
  let playing = false;
  let time = 0;
  let loop = null;        // [from, to] or null

  function clockText(seconds) {
    const h = Math.max(0, Math.floor(seconds * 100 + 1e-6));
    const two = (n) => String(n).padStart(2, "0");
    return two(Math.floor(h / 6000)) + ":" + two(Math.floor(h / 100) % 60) + "." + two(h % 100);
  }

  // Bar and beat (from 1) at a time, with the demo's tempo; "" without one.
  function barText(seconds) {
    const tempo = data && data.tempo;
    if (!tempo) return "";
    const beats = (Math.max(0, seconds) * tempo.bpm) / 60 + 1e-6;
    const bar = Math.floor(beats / tempo.beats_per_bar) + 1;
    const beat = Math.floor(beats % tempo.beats_per_bar) + 1;
    return "bar " + bar + "." + beat;
  }

  // The lanes' names take a gutter on the left; time runs across the rest.
  const GUTTER = 64;
  const width = () => Math.max(1, timeline.clientWidth - GUTTER);
  const xOf = (t) => GUTTER + (t / reach) * width();
  const timeOf = (clientX) => {
    const r = timeline.getBoundingClientRect();
    return Math.max(0, Math.min(reach, ((clientX - r.left - timeline.clientLeft - GUTTER) / width()) * reach));
  };

  function send(command) {
    if (socket && socket.readyState === WebSocket.OPEN) socket.send(command);
  }

  function showTime() {
    playhead.dataset.time = time.toFixed(3);
    playhead.style.left = xOf(time) + "px";
    $("clock").textContent = clockText(time);
    $("bar").textContent = barText(time);
    const state = $("state");
    state.textContent = playing ? "playing" : "paused";
    state.className = playing ? "playing" : "paused";
  }

  function showLoop() {
    $("loop").textContent = loop ? "loop " + clockText(loop[0]) + " - " + clockText(loop[1]) : "no loop";
    range.hidden = !loop;
    if (loop) {
      range.style.left = xOf(loop[0]) + "px";
      range.style.width = Math.max(1, xOf(loop[1]) - xOf(loop[0])) + "px";
    }
  }

  function el(tag, className, text) {
    const e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  const kinds = { particles: /^particle/i, sound: /^sound|music/i, effect: /^efx/i };
  function kindOf(type) {
    for (const k in kinds) if (kinds[k].test(type)) return k;
    return "scene";
  }

  function sectionBox(s) {
    const box = el("div", "box " + kindOf(s.type) + (s.kept ? "" : " outside"), s.file ? s.type + " " + s.file : s.type);
    box.dataset.type = s.type;
    box.dataset.layer = s.layer;
    box.dataset.start = s.start;
    box.dataset.end = s.end;
    box.dataset.script = s.script;
    box.dataset.line = s.line;
    box.title = s.script + ":" + s.line + "  " + s.type + " " + s.start + "-" + s.end + "s" +
      (s.files.length ? "\n" + s.files.join("\n") : "");
    return box;
  }

  function drawLoudness() {
    const ctx = loudness.getContext("2d");
    loudness.width = timeline.clientWidth;
    ctx.clearRect(0, 0, loudness.width, loudness.height);
    if (!data) return;
    const { slice, floor_db: floor, levels } = data.loudness;
    ctx.fillStyle = "#7a4581";
    levels.forEach((v, i) => {
      const db = v > 0 ? 20 * Math.log10(v) : floor;
      const h = Math.max(0, (db - floor) / -floor) * loudness.height;
      const x = xOf(i * slice);
      ctx.fillRect(x, loudness.height - h, Math.max(1, xOf((i + 1) * slice) - x), h);
    });
  }

  function draw() {
    if (!data) return;
    reach = Math.max(1, data.demo_start, data.demo_end);
    for (const s of data.sections) reach = Math.max(reach, s.start, s.end, ...s.syncs);
    reach *= 1.02;
    $("title").textContent = data.title;
    ruler.replaceChildren();
    const steps = [0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600];
    const step = steps.find((s) => xOf(s) - GUTTER >= 50) || 600;
    for (let t = 0; t <= reach; t += step) {
      const label = el("span", "", t + "s");
      label.style.left = xOf(t) + "px";
      ruler.append(label);
    }
    // A lane per layer, the highest first; in a lane, each box on the first row it fits.
    const layers = [...new Set(data.sections.map((s) => s.layer))].sort((a, b) => b - a);
    lanesEl.replaceChildren();
    for (const layer of layers) {
      const lane = el("div", "lane");
      lane.append(el("span", "lane-name", "layer " + layer));
      const rowEnds = [];
      const inLane = data.sections.filter((s) => s.layer === layer).sort((a, b) => a.start - b.start);
      for (const s of inLane) {
        let row = rowEnds.findIndex((end) => end <= s.start);
        if (row < 0) row = rowEnds.push(0) - 1;
        rowEnds[row] = Math.max(s.end, s.start + (3 * reach) / width());
        const box = sectionBox(s);
        box.style.left = xOf(s.start) + "px";
        box.style.width = Math.max(3, xOf(s.end) - xOf(s.start)) + "px";
        box.style.top = 2 + row * 22 + "px";
        lane.append(box);
        for (const t of s.syncs) {
          const sync = el("div", "sync");
          sync.style.left = xOf(t) + "px";
          lane.append(sync);
        }
      }
      lane.style.height = 4 + Math.max(1, rowEnds.length) * 22 + "px";
      lanesEl.append(lane);
    }
    marks.replaceChildren();
    for (const [t, name] of [[data.demo_start, "demo_start"], [data.demo_end, "demo_end"]]) {
      const m = el("div", "mark");
      m.style.left = xOf(t) + "px";
      m.title = name + " " + t + "s";
      marks.append(m);
    }
    // With a tempo, a line a bar (a stronger one every fourth), fewer when they would crowd.
    if (data.tempo) {
      const bar = (60 / data.tempo.bpm) * data.tempo.beats_per_bar;
      let every = 1;
      while (xOf(bar * every) - GUTTER < 6 && every < 1e6) every *= 4;
      for (let k = 0; k * bar <= reach; k += every) {
        const line = el("div", k % (4 * every) === 0 ? "bar strong" : "bar");
        line.style.left = xOf(k * bar) + "px";
        line.title = "bar " + (k + 1);
        marks.append(line);
      }
    }
    const loading = $("loading-box");
    loading.replaceChildren();
    if (data.loading) {
      loading.append("Loading screen: ");
      const box = sectionBox(data.loading);
      box.style.position = "static";
      box.style.display = "inline-block";
      loading.append(box);
    }
    const list = $("problems");
    list.replaceChildren();
    for (const p of data.problems) {
      const where = p.script ? p.script + (p.line > 0 ? ":" + p.line : "") + ": " : "";
      const item = el("li", p.severity, where + p.severity + ": " + p.message + (p.hint ? " (" + p.hint + ")" : ""));
      item.dataset.script = p.script;
      item.dataset.line = p.line;
      list.append(item);
    }
    drawLoudness();
    showTime();
    showLoop();
  }

  async function fetchTimeline() {
    const reply = await fetch("timeline.json?token=" + encodeURIComponent(token), { cache: "no-store" });
    if (reply.ok) {
      data = await reply.json();
      draw();
    } else if (reply.status === 503) {
      // The demo is still loading: the time line comes once it has loaded.
      setTimeout(fetchTimeline, 500);
    }
  }

  function connect() {
    socket = new WebSocket("ws://" + location.host + "/ws?token=" + encodeURIComponent(token));
    socket.onopen = () => {
      $("link").textContent = "";
      $("link").className = "";
      socket.send("hello");
      fetchTimeline();
    };
    socket.onclose = () => {
      $("link").textContent = "disconnected: retrying";
      $("link").className = "down";
      setTimeout(connect, 1000);
    };
    socket.onmessage = (message) => {
      const words = String(message.data).split(" ");
      if (words[0] !== "event") return;
      if (words[1] === "time") {
        time = parseFloat(words[2]);
        playing = words[3] === "playing";
        showTime();
      } else if (words[1] === "loop") {
        loop = words[2] === "off" ? null : [parseFloat(words[2]), parseFloat(words[3])];
        showLoop();
      } else if (words[1] === "reload") {
        fetchTimeline();
      }
    };
  }

  // A press and release at one place seeks (to a section's start on its box); a drag loops.
  let pressed = null;
  timeline.addEventListener("mousedown", (e) => {
    if (e.button !== 0) return;
    pressed = { x: e.clientX, t: timeOf(e.clientX), box: e.target.closest(".box") };
    timeline.focus();
    e.preventDefault();
  });
  window.addEventListener("mousemove", (e) => {
    if (!pressed || Math.abs(e.clientX - pressed.x) < 4) return;
    const a = pressed.t, b = timeOf(e.clientX);
    range.hidden = false;
    range.style.left = xOf(Math.min(a, b)) + "px";
    range.style.width = xOf(Math.abs(b - a)) - GUTTER + "px";
  });
  window.addEventListener("mouseup", (e) => {
    if (!pressed) return;
    const p = pressed;
    pressed = null;
    if (Math.abs(e.clientX - p.x) >= 4) {
      const a = p.t, b = timeOf(e.clientX);
      send("loop " + Math.min(a, b).toFixed(3) + " " + Math.max(a, b).toFixed(3));
      return;
    }
    showLoop();
    send("seek " + (p.box ? p.box.dataset.start : p.t.toFixed(3)));
  });
  window.addEventListener("keydown", (e) => {
    if (e.code !== "Space" || e.repeat) return;
    e.preventDefault();
    send(playing ? "pause" : "play");
  });
  window.addEventListener("resize", draw);

  connect();
})();
