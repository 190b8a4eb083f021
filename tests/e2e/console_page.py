#!/usr/bin/python3
"""The maker's console in a real browser (headless Chromium through chromedriver).

console_page.py PLAYER DEMO_DIR

Starts PLAYER --watch --serve=0 in DEMO_DIR (whose demo.tvl the page is checked against), drives
the page the way its user would and asks the player on its standard input what it did.
Exits 0 when every check held; each failure is printed."""
import os
import re
import subprocess
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

player_path, demo_dir = sys.argv[1], sys.argv[2]
script_path = os.path.join(demo_dir, "demo.tvl")
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what, flush=True)
    return ok


def wait(condition, seconds=15):
    end = time.time() + seconds
    while time.time() < end:
        try:
            if condition():
                return True
        except Exception:  # an element replaced while it was read: look again
            pass
        time.sleep(0.1)
    return False


def sections_written():
    """The sections as demo.tvl gives them, the loading screen apart: type, header line, start,
    end and layer (the players' defaults: 0)."""
    found = []
    for number, line in enumerate(open(script_path).read().split("\n"), 1):
        words = line.split()
        if re.fullmatch(r"\[\w+\]", line.strip()):
            found.append({"type": line.strip()[1:-1], "line": number, "start": 0.0, "end": 0.0, "layer": 0})
        elif found and len(words) == 2 and words[0] in ("start", "end", "layer"):
            found[-1][words[0]] = float(words[1]) if words[0] != "layer" else int(words[1])
    return [s for s in found if s["type"] != "loading"]


err_path = os.path.join(demo_dir, ".console-stderr")
err_file = open(err_path, "w")
player = subprocess.Popen([player_path, "--watch", "--serve=0"], cwd=demo_dir, stdin=subprocess.PIPE,
                          stdout=subprocess.PIPE, stderr=err_file, text=True)


def ask(command):
    player.stdin.write(command + "\n")
    player.stdin.flush()
    return player.stdout.readline().strip()


url = None
if wait(lambda: "?token=" in open(err_path).read()):
    url = re.search(r"Console: (\S+)", open(err_path).read()).group(1)
options = Options()
for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
             "--window-size=1400,900", "--no-first-run"):
    options.add_argument(flag)
browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    check(url is not None, "the player printed the console's address")
    browser.get(url)
    boxes = lambda: browser.find_elements(By.CSS_SELECTOR, "#lanes .box")
    written = sections_written()
    check(wait(lambda: len(boxes()) == len(written)), "a box for each of the %d sections" % len(written))
    # Every section's box carries its attributes.
    shown = sorted((b.get_attribute("data-type"), int(b.get_attribute("data-line")), float(b.get_attribute("data-start")),
                    float(b.get_attribute("data-end")), int(b.get_attribute("data-layer")),
                    b.get_attribute("data-script")) for b in boxes())
    want = sorted((s["type"], s["line"], s["start"], s["end"], s["layer"], "./demo.tvl") for s in written)
    check(shown == want, "the boxes' attributes %s are the sections' %s" % (shown, want))

    # A click on a box seeks to its section's start; the play head follows.
    check(ask("pause") == "ok", "paused")
    target = written[-1]
    box = [b for b in boxes() if int(b.get_attribute("data-line")) == target["line"]][0]
    ActionChains(browser).move_to_element(box).click().perform()
    start = "ok %.3f paused" % target["start"]
    check(wait(lambda: ask("time") == start), "a click on the box seeks to %s: %s" % (start, ask("time")))
    head = browser.find_element(By.ID, "playhead")
    check(wait(lambda: float(head.get_attribute("data-time")) == target["start"]), "the play head at the start")
    check("00:%05.2f" % target["start"] in browser.find_element(By.ID, "clock").text, "the clock at the start")

    # Space plays and pauses.
    ActionChains(browser).send_keys(Keys.SPACE).perform()
    check(wait(lambda: ask("time").endswith("playing")), "Space plays")
    ActionChains(browser).send_keys(Keys.SPACE).perform()
    check(wait(lambda: ask("time").endswith("paused")), "Space pauses")

    # A drag from one box's left edge to another's sets the loop between their starts, to
    # within the few pixels the pointer lands off the edges.
    first = min(written, key=lambda s: s["start"])
    a = [b for b in boxes() if int(b.get_attribute("data-line")) == first["line"]][0]
    b = box
    seconds_a_pixel = (target["start"] - first["start"]) / (b.location["x"] - a.location["x"])
    loop_text = browser.find_element(By.ID, "loop")
    (ActionChains(browser).move_to_element_with_offset(a, -a.size["width"] // 2 + 3, 0).click_and_hold()
     .move_by_offset(b.location["x"] - a.location["x"], 0).release().perform())

    def loop_near():
        m = re.fullmatch(r"loop (\d+):(\d+\.\d\d) - (\d+):(\d+\.\d\d)", loop_text.text)
        return m and all(abs(int(m[i]) * 60 + float(m[i + 1]) - want) <= 6 * seconds_a_pixel + 0.01
                         for i, want in ((1, first["start"]), (3, target["start"])))
    check(wait(loop_near), "the loop from %s to %s: %s" % (first["start"], target["start"], loop_text.text))

    # A section's box opens its curves; a key dragged up is one edit of the file and its
    # data-value, which Ctrl+Z takes back. (What the picture and the other clients do on an edit
    # and its undo is the socket's to show, not the page's.)
    spline_path = os.path.join(demo_dir, "data/image.spl")
    spline_before = open(spline_path).read()
    image = [b for b in boxes() if b.get_attribute("data-type") == "image"][0]
    ActionChains(browser).move_to_element(image).click().perform()
    view = browser.find_element(By.ID, "curves")
    check(wait(lambda: view.get_attribute("data-file") == "data/image.spl"), "the image's curves open")
    names = [c.get_attribute("data-name") for c in browser.find_elements(By.CSS_SELECTOR, "#curves .curve")]
    check(names[:3] == ["scale x", "scale y", "scale z"] and len(names) == 9, "the curves are named: %s" % names)
    # Shown alone, scale x's key is the one under the pointer (the three scales lie on one line).
    browser.find_element(By.CSS_SELECTOR, '#curves .legend span[data-channel="0"]').click()
    check(wait(lambda: len(browser.find_elements(By.CSS_SELECTOR, "#curves .curve")) == 1), "a channel alone")
    point = lambda: browser.find_element(By.CSS_SELECTOR, '#curves .key[data-key="0"][data-channel="0"]')
    value = lambda: float(point().get_attribute("data-value"))
    # Away from 0 s, where the play head would lie over the first key and take the press.
    check(wait(lambda: ask("time") == "ok 0.000 paused") and ask("seek 0.5") == "ok", "at 0.5 s")
    ActionChains(browser).move_to_element(point()).click_and_hold().move_by_offset(0, -60).release().perform()
    check(wait(lambda: open(spline_path).read() != spline_before), "the drag writes the file")
    dragged = open(spline_path).read()
    check(dragged.split("\n")[1:] == spline_before.split("\n")[1:] and dragged.split(" ")[1:] == spline_before.split(" ")[1:],
          "only the dragged number changed: %r" % dragged)
    check(wait(lambda: value() > 0.5 and float(dragged.split(" ")[0]) == value()),
          "data-value %s follows the file %r" % (value(), dragged))
    ActionChains(browser).key_down(Keys.CONTROL).send_keys("z").key_up(Keys.CONTROL).perform()
    check(wait(lambda: open(spline_path).read() == spline_before), "Ctrl+Z gives the file back")
    check(wait(lambda: value() == 0.5), "and the data-value")

    # From above (x right, z down), a key of the eye's path dragged right and down is one edit
    # of both: the file and both curves' points follow, and one undo takes both back.
    eye_path = os.path.join(demo_dir, "data/eye.spl")
    eye_before = open(eye_path).read()
    ActionChains(browser).move_to_element([b for b in boxes() if b.get_attribute("data-start") == "6"][0]).click().perform()
    check(wait(lambda: view.get_attribute("data-file") == "data/eye.spl"), "the camera's curves open")
    on_path = browser.find_element(By.CSS_SELECTOR, '#curves .path-view .key[data-key="1"][data-channel="0 2"]')
    ActionChains(browser).move_to_element(on_path).click_and_hold().move_by_offset(30, 20).release().perform()
    check(wait(lambda: open(eye_path).read() != eye_before), "the drag on the path writes the file")
    moved = open(eye_path).read().split("\n")[1].split(" ")
    curve = lambda c: float(browser.find_element(By.CSS_SELECTOR, '#curves .curve .key[data-key="1"][data-channel="%d"]' % c).get_attribute("data-value"))
    check(float(moved[0]) > 1 and float(moved[2]) > 3 and moved[1] == "2" and moved[3:] == eye_before.split("\n")[1].split(" ")[3:], "only x and z moved: %r" % moved)
    check(wait(lambda: (curve(0), curve(2)) == (float(moved[0]), float(moved[2]))), "the curves' points follow")
    check(ask("undo") == "ok" and open(eye_path).read() == eye_before, "one undo takes both back")

    # A broken script shows its problem with its line; fixed, the problem goes.
    text = open(script_path).read()
    broken_line = text.count("\n") + 1
    open(script_path, "w").write(text + "bogus 1\n")
    problems = lambda: browser.find_elements(By.CSS_SELECTOR, "#problems > *")
    check(wait(lambda: any(":%d:" % broken_line in p.text for p in problems())),
          "the problem on line %d is listed: %s" % (broken_line, [p.text for p in problems()]))
    open(script_path, "w").write(text)
    check(wait(lambda: len(problems()) == 0), "the problem goes once fixed")
    check(ask("quit") == "ok" and player.wait(20) == 0, "the player quits and ends cleanly")
finally:
    browser.quit()
    if player.poll() is None:
        player.kill()
        player.wait()
    err_file.close()
print("console page: %s" % ("every check held" if not failures else "%d checks failed" % len(failures)))
sys.exit(1 if failures else 0)
