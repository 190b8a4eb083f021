"use strict";
// The maker's console: the time line from timeline.json, the curves of a section from
// splines.json, the show's state from the WebSocket's events, and the player's commands sent back
// over it.
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
    moveCurvesHead();
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

  // One of the player's JSON files, handed to `take`; while the demo loads (503), asked again.
  async function fetchJson(name, take) {
    const reply = await fetch(name + "?token=" + encodeURIComponent(token), { cache: "no-store" });
    if (reply.ok) take(await reply.json());
    else if (reply.status === 503) setTimeout(() => fetchJson(name, take), 500);
  }
  const fetchTimeline = () => fetchJson("timeline.json", (json) => { data = json; draw(); });
  const fetchSplines = () => fetchJson("splines.json", (json) => { splines = json; drawCurves(); });

  function connect() {
    socket = new WebSocket("ws://" + location.host + "/ws?token=" + encodeURIComponent(token));
    socket.onopen = () => {
      $("link").textContent = "";
      $("link").className = "";
      socket.send("hello");
      fetchTimeline();
      fetchSplines();
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
        fetchSplines();
      } else if (words[1] === "spline") {
        fetchSplines();
      }
    };
  }

  // The curves of the section last clicked, from splines.json: one curve a channel, its keys as
  // points to drag, and for a camera its eye and target paths seen from above and from the side.
  const curves = $("curves");
  const SVGNS = "http://www.w3.org/2000/svg";
  const VIEW_H = 240, PAD = 24;
  const COLOURS = ["#d62728", "#2ca02c", "#1f77b4", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2", "#7f7f7f",
    "#bcbd22", "#17becf", "#393b79", "#637939", "#8c6d31", "#843c39", "#7b4173", "#3182bd"];
  let splines = null;   // the last splines.json
  let opened = null;    // { script, line, file }: the section whose curves are shown, and its file
  let alone = null;     // the channel shown alone, or null for all
  let selected = null;  // { key, channel } of the key last clicked
  let drag = null;
  let curvesHead = null;  // the play head's line and how it maps time

  function svg(tag, attrs) {
    const e = document.createElementNS(SVGNS, tag);
    for (const k in attrs) e.setAttribute(k, attrs[k]);
    return e;
  }

  // The spline files the section at script:line uses, with that use.
  function usesOf(script, line) {
    const found = [];
    for (const file of (splines && splines.files) || [])
      for (const use of file.uses)
        if (use.script === script && use.line === line) found.push({ file, use });
    return found.sort((a, b) => a.use.index - b.use.index);
  }

  function openCurves(box) {
    if (!opened || opened.script !== box.dataset.script || opened.line !== Number(box.dataset.line)) {
      opened = { script: box.dataset.script, line: Number(box.dataset.line), file: null };
      alone = null;
      selected = null;
    }
    drawCurves();
  }

  function keyValue(value) {
    return String(Number(value.toPrecision(7)));
  }

  function drawCurves() {
    curves.replaceChildren();
    curvesHead = null;
    const found = opened ? usesOf(opened.script, opened.line) : [];
    const entry = found.find((f) => f.file.file === opened.file) || found[0];
    curves.hidden = !entry;
    if (!entry) {
      delete curves.dataset.file;
      return;
    }
    const { file, use } = entry;
    opened.file = file.file;
    curves.dataset.file = file.file;
    const head = el("div", "curves-head");
    for (const f of found) {
      const b = el("button", f.file.file === file.file ? "on" : "", f.file.file);
      b.onclick = () => { opened.file = f.file.file; alone = null; selected = null; drawCurves(); };
      head.append(b);
    }
    head.append(el("span", "", use.type + ", spline " + use.index + ", " + file.keys.length + " keys over " + use.seconds + " s"));
    if (!file.editable)
      head.append(el("span", "note", file.archive ? "inside " + file.archive + ": unpack it to edit" : "not editable"));
    const actions = [["insert key", () => insertKey()], ["delete key", () => deleteKey()],
      ["undo", () => send("undo")], ["redo", () => send("redo")]];
    for (const [name, act] of actions) {
      const b = el("button", "", name);
      b.onclick = act;
      head.append(b);
    }
    curves.append(head);

    const legend = el("div", "legend");
    use.names.forEach((name, c) => {
      const item = el("span", alone === null || alone === c ? "" : "off", name);
      item.style.color = COLOURS[c % COLOURS.length];
      item.dataset.channel = c;
      item.onclick = () => { alone = alone === c ? null : c; drawCurves(); };
      legend.append(item);
    });
    curves.append(legend);

    const shown = use.names.map((_, c) => c).filter((c) => alone === null || c === alone);
    let lo = Infinity, hi = -Infinity;
    const take = (v) => { if (v !== null) { lo = Math.min(lo, v); hi = Math.max(hi, v); } };
    for (const c of shown) {
      for (const k of file.keys) take(k[c]);
      for (const s of use.samples || []) take(s[c + 1]);
    }
    if (!(hi > lo)) { lo = (isFinite(lo) ? lo : 0) - 1; hi = lo + 2; }
    const margin = (hi - lo) * 0.08;
    lo -= margin;
    hi += margin;
    // As wide as the view, so that a key's point stays round.
    const VIEW_W = Math.max(300, curves.clientWidth - 14);
    const n = file.keys.length, span = use.seconds;
    const keyTime = (k) => (n > 1 ? (k * span) / (n - 1) : 0);
    const X = (t) => PAD + (span > 0 ? t / span : 0) * (VIEW_W - 2 * PAD);
    const Y = (v) => PAD + ((hi - v) / (hi - lo)) * (VIEW_H - 2 * PAD);
    const plot = svg("svg", { class: "plot", width: VIEW_W, height: VIEW_H, viewBox: "0 0 " + VIEW_W + " " + VIEW_H });
    for (const [v, anchor] of [[hi - margin, "hanging"], [lo + margin, "auto"]]) {
      const label = svg("text", { x: 2, y: Y(v), "font-size": 10, fill: "#666", "dominant-baseline": anchor });
      label.textContent = keyValue(v);
      plot.append(label);
    }
    if (lo < 0 && hi > 0) plot.append(svg("line", { x1: PAD, x2: VIEW_W - PAD, y1: Y(0), y2: Y(0), stroke: "#ddd" }));
    for (const c of shown) {
      const g = svg("g", { class: "curve" });
      g.dataset.channel = c;
      g.dataset.name = use.names[c];
      const points = use.samples ? use.samples.map((s) => [s[0], s[c + 1]]) : file.keys.map((k, i) => [keyTime(i), k[c]]);
      const d = points.map(([t, v], i) => (i ? "L" : "M") + X(t).toFixed(1) + " " + Y(v).toFixed(1)).join(" ");
      g.append(svg("path", { d, stroke: COLOURS[c % COLOURS.length] }));
      file.keys.forEach((k, i) => {
        const point = svg("circle", { class: "key", cx: X(keyTime(i)), cy: Y(k[c]), r: 5, fill: COLOURS[c % COLOURS.length] });
        if (selected && selected.key === i && selected.channel === c) point.classList.add("selected");
        point.dataset.file = file.file;
        point.dataset.key = i;
        point.dataset.channel = c;
        point.dataset.value = k[c];
        if (file.editable) {
          point.addEventListener("mousedown", (e) => startDrag(e, point, [null, -(hi - lo) / (VIEW_H - 2 * PAD)]));
          point.addEventListener("dblclick", () => typeValue(point));
        }
        g.append(point);
      });
      plot.append(g);
    }
    const line = svg("line", { y1: 0, y2: VIEW_H, stroke: "#e00", "stroke-width": 2 });
    plot.append(line);
    curvesHead = { line, start: use.start, span, X };
    curves.append(plot);
    if (use.names[0] === "eye x" && use.samples) {
      // Seen from above (x across, z down) and from the side (z across, y up).
      for (const [a, b, flip, title] of [[0, 2, false, "from above"], [2, 1, true, "from the side"]])
        curves.append(pathView(use.samples, a, b, flip, title, file));
    }
    moveCurvesHead();
  }

  // The eye (channels 0-2) and target (6-8) paths on two of their axes; a key dragged there
  // moves in both at once, its point's data-channel and data-value holding the two.
  function pathView(samples, a, b, flip, title, file) {
    const W = 300, H = 200, P = 12;
    const all = [];
    for (const s of samples) all.push([s[1 + a], s[1 + b]], [s[7 + a], s[7 + b]]);
    const xs = all.map((p) => p[0]), ys = all.map((p) => p[1]);
    let x0 = Math.min(...xs), x1 = Math.max(...xs), y0 = Math.min(...ys), y1 = Math.max(...ys);
    const size = Math.max(x1 - x0, y1 - y0, 1e-3);
    const px = (v) => P + ((v - x0) / size) * (W - 2 * P);
    const py = (v) => (flip ? H - P - ((v - y0) / size) * (H - 2 * P) : P + ((v - y0) / size) * (H - 2 * P));
    const view = svg("svg", { class: "path-view", viewBox: "0 0 " + W + " " + H });
    const label = svg("text", { x: 4, y: 12, "font-size": 11, fill: "#666" });
    label.textContent = title;
    view.append(label);
    for (const [offset, colour] of [[1, "#1f77b4"], [7, "#d62728"]]) {
      const d = samples.map((s, i) => (i ? "L" : "M") + px(s[offset + a]).toFixed(1) + " " + py(s[offset + b]).toFixed(1)).join(" ");
      view.append(svg("path", { d, fill: "none", stroke: colour }));
      const across = offset - 1 + a, up = offset - 1 + b;
      file.keys.forEach((k, i) => {
        const point = svg("circle", { class: "key", cx: px(k[across]), cy: py(k[up]), r: 4, fill: colour });
        point.dataset.file = file.file;
        point.dataset.key = i;
        point.dataset.channel = across + " " + up;
        point.dataset.value = k[across] + " " + k[up];
        if (file.editable)
          point.addEventListener("mousedown", (e) => startDrag(e, point, [size / (W - 2 * P), (flip ? -size : size) / (H - 2 * P)]));
        view.append(point);
      });
    }
    return view;
  }

  function moveCurvesHead() {
    if (!curvesHead) return;
    const { line, start, span, X } = curvesHead;
    const t = time - start;
    line.setAttribute("visibility", t >= 0 && t <= span ? "visible" : "hidden");
    line.setAttribute("x1", X(Math.max(0, Math.min(span, t))));
    line.setAttribute("x2", X(Math.max(0, Math.min(span, t))));
  }

  // A drag is one edit however far it goes: the values follow the pointer, and are sent once.
  // `perUnit` holds, for the point's channels in turn, the value a view unit across or down is
  // worth (null: that way does not move it).
  function startDrag(e, point, perUnit) {
    if (e.button !== 0) return;
    e.preventDefault();
    e.stopPropagation();
    const channels = point.dataset.channel.split(" ").map(Number);
    selected = { key: Number(point.dataset.key), channel: channels[0] };
    for (const p of curves.querySelectorAll(".key.selected")) p.classList.remove("selected");
    point.classList.add("selected");
    const from = point.dataset.value.split(" ").map(Number);
    const axes = perUnit.map((per, i) => ({ per, axis: i })).filter((a) => a.per !== null)
      .map((a, n) => ({ ...a, channel: channels[n], from: from[n] }));
    drag = { point, x: e.clientX, y: e.clientY, cx: Number(point.getAttribute("cx")), cy: Number(point.getAttribute("cy")),
      axes, values: from, moved: false };
  }

  window.addEventListener("mousemove", (e) => {
    if (!drag) return;
    const box = drag.point.ownerSVGElement.getBoundingClientRect(), view = drag.point.ownerSVGElement.viewBox.baseVal;
    // The pointer's move in the view's units, and finer with Shift.
    const moved = [(e.clientX - drag.x) * (view.width / box.width), (e.clientY - drag.y) * (view.height / box.height)];
    const fine = e.shiftKey ? 0.1 : 1;
    // A way the pointer did not go keeps its value to the last digit.
    drag.values = drag.axes.map((a) => {
      if (Math.abs(moved[a.axis]) >= 1) drag.moved = true;
      drag.point.setAttribute(a.axis ? "cy" : "cx", (a.axis ? drag.cy : drag.cx) + moved[a.axis] * fine);
      return moved[a.axis] === 0 ? String(a.from) : keyValue(a.from + moved[a.axis] * a.per * fine);
    });
    drag.point.dataset.value = drag.values.join(" ");
  });
  window.addEventListener("mouseup", () => {
    if (!drag) return;
    const d = drag;
    drag = null;
    if (d.moved)
      send("key set " + d.point.dataset.file + " " + d.point.dataset.key +
        d.axes.map((a, n) => " " + a.channel + " " + d.values[n]).join(""));
  });

  function typeValue(point) {
    const input = el("input", "exact");
    input.value = point.dataset.value;
    const box = point.getBoundingClientRect(), frame = curves.getBoundingClientRect();
    input.style.left = box.right - frame.left + 4 + "px";
    input.style.top = box.top - frame.top - 4 + "px";
    curves.append(input);
    input.focus();
    input.select();
    input.addEventListener("keydown", (e) => {
      e.stopPropagation();
      if (e.key === "Enter" && isFinite(parseFloat(input.value)))
        send("key set " + point.dataset.file + " " + point.dataset.key + " " + point.dataset.channel + " " + parseFloat(input.value));
      if (e.key === "Enter" || e.key === "Escape") input.remove();
    });
    input.addEventListener("blur", () => input.remove());
  }

  function insertKey() {
    if (!curves.dataset.file) return;
    const n = curves.querySelectorAll('.curve:first-of-type .key').length;
    send("key insert " + curves.dataset.file + " " + (selected ? selected.key + 1 : n));
  }

  function deleteKey() {
    if (curves.dataset.file && selected) send("key delete " + curves.dataset.file + " " + selected.key);
    selected = null;
  }

  window.addEventListener("keydown", (e) => {
    if (e.target.tagName === "INPUT") return;
    if ((e.ctrlKey || e.metaKey) && e.code === "KeyZ") {
      e.preventDefault();
      send(e.shiftKey ? "redo" : "undo");
    } else if (!curves.hidden && e.key === "Insert") {
      insertKey();
    } else if (!curves.hidden && e.key === "Delete") {
      deleteKey();
    }
  });

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
    if (p.box) openCurves(p.box);
  });
  window.addEventListener("keydown", (e) => {
    if (e.code !== "Space" || e.repeat) return;
    e.preventDefault();
    send(playing ? "pause" : "play");
  });
  window.addEventListener("resize", draw);

  connect();
})();
