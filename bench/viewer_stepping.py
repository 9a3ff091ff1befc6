#!/usr/bin/python3
"""The viewer as a user steps through large photos, timed on a virtual display.

For each viewer given (e.g. today's build and an older one) this starts Xvfb (1920 x 1080)
with openbox, shows a folder of ten 6000 x 4000 JPEGs maximised and measures, by watching the
screen's pixels:

  hold   the Down key held through the ten pictures (the X server's own auto-repeat): how
         long after the key is released the tenth picture is on screen, and the viewer's CPU
         time from the press until then;
  click  a click on a thumbnail until its picture is on screen (median of 5);
  filter with the Lanczos3 zoom filter chosen, a click until the picture is on screen, and the
         viewer's CPU time until it is idle again (the filtered repaint at fit included);
  idle   how often the viewer's main thread wakes in 5 s with nothing happening.

Each photo carries a centred block of its own colour, so one pixel tells which picture shows.

With --waiting it measures instead what a user waits for, side by side with Geeqie (a VIEWER
named geeqie is started on the first photo, as Geeqie is used):

  start  process start to the first photo complete on screen (a folder of twenty 6000 x 4000
         JPEGs; "complete": the block of the photo's colour near its bottom is drawn, and no
         preview mark shows);
  step   the next-picture key (Down; Geeqie's is Space) once a second through the twenty
         photos: key to the photo complete on screen, median and worst;
  probe  (Tessel only, TESSEL_LATENCY_LOG) the worst lateness of a 10 ms timer on the GUI
         thread while stepping, and while a folder of 3000 photos fills its column with the
         column scrolled meanwhile.

Usage: [PHOTOS=DIR] bench/viewer_stepping.py [--waiting] NAME=VIEWER [NAME=VIEWER ...]
Needs Xvfb, openbox, xdotool and Pillow with numpy (scripts/bootstrap --bench).
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image

from xgrab import Grabber

W, H = 6000, 4000
COUNT = 10
DISPLAY = ":%d" % (70 + os.getpid() % 20)


def colour(i):
    return ((37 * i + 40) % 256, (91 * i + 200) % 256, (151 * i + 90) % 256)


def make_photos(folder):
    y, x = np.mgrid[0:H, 0:W].astype(np.float32)
    rng = np.random.default_rng(1)
    for i in range(COUNT):
        base = np.stack([(x / W * 200 + 20 * i) % 256, (y / H * 180 + 13 * i) % 256,
                         ((x + y) / (W + H) * 220 + 7 * i) % 256], axis=-1)
        base += rng.normal(0, 6, size=(H, W, 1)).astype(np.float32)
        img = np.clip(base, 0, 255).astype(np.uint8)
        img[H // 2 - 600:H // 2 + 600, W // 2 - 900:W // 2 + 900] = colour(i)
        Image.fromarray(img).save(os.path.join(folder, "photo%02d.jpg" % i), quality=90)


_grabber = None


def grabber():
    # One connection to the display for the whole run, opened once Xvfb is up.
    global _grabber
    if _grabber is None:
        _grabber = Grabber(DISPLAY)
    return _grabber


def drop_grabber():
    # Before the display's server goes: a later run starts a new one on the same name.
    global _grabber
    if _grabber is not None:
        _grabber.close()
        _grabber = None


def pixel(x, y):
    return grabber().pixel(x, y)


def near(a, b):
    return all(abs(p - q) <= 12 for p, q in zip(a, b))


def wait_for(pred, timeout):
    t0 = time.monotonic()
    while time.monotonic() - t0 < timeout:
        if pred():
            return time.monotonic()
        time.sleep(0.005)
    return None


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wakeups(pid):
    # The main thread's voluntary context switches: each time it slept and was woken.
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches"):
                return int(line.split()[1])
    return 0


def xdo(*args):
    subprocess.run(["xdotool", *map(str, args)], env=dict(os.environ, DISPLAY=DISPLAY), check=True)


class Session:
    def __init__(self, viewer, folder):
        env = dict(os.environ, DISPLAY=DISPLAY)
        env.pop("QT_QPA_PLATFORM", None)
        self.procs = [subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                                       stderr=subprocess.DEVNULL)]
        time.sleep(1)
        self.procs.append(subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL))
        time.sleep(1)
        self.viewer = subprocess.Popen([viewer, folder, "*.jpg"], env=env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        self.procs.append(self.viewer)
        # The centre of the view: right of the thumbnail column and the tool bar.
        self.cx, self.cy = (130 + 5 + 34 + 1920) // 2, 1080 // 2 + 20
        self.xdisplay = DISPLAY
        if wait_for(lambda: near(pixel(self.cx, self.cy), colour(0)), 60) is None:
            raise RuntimeError("the first picture never showed")
        time.sleep(3)  # the thumbnails of the first screen are read

    def shows(self, i):
        return near(pixel(self.cx, self.cy), colour(i))

    def thumbnail(self, i):
        # The column scrolled to its top, under openbox's title bar and the tool bar: cells
        # of 104 pixels, one a row.
        return 55, 95 + 104 * i

    def home(self):
        xdo("key", "Home")  # the first entry, and the column at its top
        wait_for(lambda: self.shows(0), 30)

    def close(self):
        drop_grabber()
        for p in reversed(self.procs):
            p.terminate()
            p.wait()


def measure(viewer, folder):
    s = Session(viewer, folder)
    out = {}
    try:
        # Hold Down from the first picture to past the tenth.
        x, y = s.thumbnail(0)
        xdo("mousemove", x, y, "click", 1)
        time.sleep(1)
        cpu0 = cpu_seconds(s.viewer.pid)
        xdo("keydown", "Down")
        time.sleep(1.6)  # 0.66 s delay, then 25 repeats a second: nine steps and a few more
        xdo("keyup", "Down")
        released = time.monotonic()
        shown = wait_for(lambda: s.shows(COUNT - 1), 60)
        out["hold: tenth picture after release (s)"] = shown - released if shown else float("nan")
        out["hold: CPU from press to picture (s)"] = cpu_seconds(s.viewer.pid) - cpu0
        time.sleep(1)
        # Clicks on thumbnails.
        times = []
        for i in (4, 6, 5, 7, 3):
            s.home()
            time.sleep(0.5)
            x, y = s.thumbnail(i)
            t0 = time.monotonic()
            xdo("mousemove", x, y, "click", 1)
            t = wait_for(lambda: s.shows(i), 30)
            times.append(t - t0 if t else float("nan"))
            time.sleep(0.5)
        out["click to picture (s, median of 5)"] = statistics.median(times)
        # The Lanczos3 filter ("ZF A", the tenth button of the tool bar).
        xdo("mousemove", 152, 256, "click", 1)
        time.sleep(2)
        x, y = s.thumbnail(0)
        xdo("mousemove", x, y, "click", 1)  # the focus back to the column
        s.home()
        time.sleep(3)
        cpu0 = cpu_seconds(s.viewer.pid)
        x, y = s.thumbnail(6)
        t0 = time.monotonic()
        xdo("mousemove", x, y, "click", 1)
        t = wait_for(lambda: s.shows(6), 30)
        out["filter: click to picture (s)"] = t - t0 if t else float("nan")
        time.sleep(2)
        out["filter: CPU for the click, filtered repaint included (s)"] = cpu_seconds(s.viewer.pid) - cpu0
        # Idle: how often the viewer wakes over 5 s with nothing happening.
        wakes0 = wakeups(s.viewer.pid)
        time.sleep(5)
        out["idle: wake-ups over 5 s"] = wakeups(s.viewer.pid) - wakes0
    finally:
        s.close()
    return out


# ---- --waiting: start, steps and the GUI thread's lateness, side by side with Geeqie ----------

STEP_COUNT = 20
MARK = (255, 255, 224)  # the preview mark's background


def make_step_photos(folder):
    # Twenty photos, each with a block of its own colour near its bottom: a viewer that draws
    # from the top shows it last.
    y, x = np.mgrid[0:H, 0:W].astype(np.float32)
    rng = np.random.default_rng(2)
    for i in range(STEP_COUNT):
        base = np.stack([(x / W * 200 + 11 * i) % 256, (y / H * 180 + 17 * i) % 256,
                         ((x + y) / (W + H) * 220 + 5 * i) % 256], axis=-1)
        base += rng.normal(0, 6, size=(H, W, 1)).astype(np.float32)
        img = np.clip(base, 0, 255).astype(np.uint8)
        img[int(H * 0.62):int(H * 0.9), int(W * 0.3):int(W * 0.7)] = colour(i)
        Image.fromarray(img).save(os.path.join(folder, "step%02d.jpg" % i), quality=90)


# What complete() looks at: a band down the middle of the screen, through every viewer's fitted
# photo and its coloured block, and the view's top-left corner, where Tessel's preview mark sits.
# A poll reads these few pixels in about a millisecond; a whole-screen grab took 0.1-0.4 s a poll
# and was most of the figure it measured.
BAND = (990, 0, 20, 1080)
CORNER = (130, 0, 400, 200)


def count_near(shot, c):
    return int((np.abs(shot - np.array(c, np.int16)).max(axis=2) <= 12).sum())


class Desktop:
    """Xvfb with openbox, and one viewer on it."""

    def __init__(self):
        self.env = dict(os.environ, DISPLAY=DISPLAY)
        self.env.pop("QT_QPA_PLATFORM", None)
        self.procs = [subprocess.Popen(["Xvfb", DISPLAY, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                                       stderr=subprocess.DEVNULL)]
        time.sleep(1)
        self.procs.append(subprocess.Popen(["openbox"], env=self.env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL))
        time.sleep(1)

    def start(self, argv, env=None):
        p = subprocess.Popen(argv, env=dict(self.env, **(env or {})), stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self.procs.append(p)
        return p

    def close(self):
        drop_grabber()
        for p in reversed(self.procs):
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()


def complete(i, need):
    return (count_near(grabber().grab(*BAND), colour(i)) >= need
            and count_near(grabber().grab(*CORNER), MARK) < 50)


def probe_worst(log, since_ms, until_ms):
    # The worst lateness, and the GUI thread's own CPU time during it (work of its own, or
    # waiting for a processor the machine's other load held).
    worst = (0.0, 0.0)
    with open(log) as f:
        for line in f:
            t, late, cpu = line.split()
            if since_ms <= int(t) <= until_ms:
                worst = max(worst, (float(late), float(cpu)))
    return worst


def probe_now(log):
    with open(log) as f:
        lines = f.read().splitlines()
    return int(lines[-1].split()[0]) if lines else 0


def waiting(name, viewer, folder, home):
    geeqie = os.path.basename(viewer).startswith("geeqie")
    out = {}
    desk = Desktop()
    log = os.path.join(home, "latency.log")
    try:
        first = os.path.join(folder, "step00.jpg")
        env = {"HOME": home, "XDG_CONFIG_HOME": home + "/config", "XDG_CACHE_HOME": home + "/cache",
               "XDG_DATA_HOME": home + "/data", "TESSEL_LATENCY_LOG": log}
        t0 = time.monotonic()
        desk.start([viewer, "--geometry=1920x1050+0+0", first] if geeqie else [viewer, folder, "*.jpg"], env)
        # The block crosses the band over about 28 % of a fitted photo's height (some 270 rows of
        # 20 pixels); a fifth of that proves it drawn.
        need = 1000
        t = wait_for(lambda: complete(0, need), 60)
        out["start: first photo complete (s)"] = t - t0 if t else float("nan")
        time.sleep(3)
        probe_from = probe_now(log) if not geeqie else 0
        times = []
        for i in range(1, STEP_COUNT):
            k0 = time.monotonic()
            xdo("key", "space" if geeqie else "Down")
            t = wait_for(lambda: complete(i, need), 20)
            times.append(t - k0 if t else float("nan"))
            time.sleep(max(0, k0 + 1 - time.monotonic()))
        out["step: key to photo complete, median (ms)"] = statistics.median(times) * 1000
        out["step: worst (ms)"] = max(times) * 1000
        if not geeqie:
            late, cpu = probe_worst(log, probe_from, probe_now(log))
            out["probe: worst lateness while stepping (ms)"] = late
            out["probe: GUI thread CPU during that wait, stepping (ms)"] = cpu
    finally:
        desk.close()
    return out


def filling(viewer, folder, home):
    # 3000 photos (hard links of a few 1600 x 1200 JPEGs) fill the column while it is scrolled.
    desk = Desktop()
    log = os.path.join(home, "latency-fill.log")
    out = {}
    try:
        desk.start([viewer, folder, "*.jpg"], {"TESSEL_LATENCY_LOG": log, "HOME": home,
                                                "XDG_CACHE_HOME": home + "/cache-fill"})
        time.sleep(1.0)
        xdo("mousemove", 60, 400)
        for _ in range(15):
            xdo("click", 5)  # the wheel, down one cell
            time.sleep(0.1)
        xdo("key", "End")
        time.sleep(1)
        for _ in range(10):
            xdo("key", "Up")
            time.sleep(0.05)
        time.sleep(4)
        late, cpu = probe_worst(log, 1000, 10 ** 9)
        out["probe: worst lateness while 3000 photos fill the column (ms)"] = late
        out["probe: GUI thread CPU during that wait, filling (ms)"] = cpu
    finally:
        desk.close()
    return out


def make_fill_folder(folder):
    y, x = np.mgrid[0:1200, 0:1600].astype(np.float32)
    for k in range(10):
        img = np.stack([(x / 8 + 25 * k) % 256, (y / 6) % 256, (x + y) / 11 % 256], axis=-1).astype(np.uint8)
        Image.fromarray(img).save(os.path.join(folder, "src%d.jpg" % k), quality=88)
    for i in range(3000):
        os.link(os.path.join(folder, "src%d.jpg" % (i % 10)), os.path.join(folder, "p%04d.jpg" % i))
    for k in range(10):
        os.remove(os.path.join(folder, "src%d.jpg" % k))


def main_waiting(runs):
    folder = os.environ.get("PHOTOS") or tempfile.mkdtemp(prefix="velora-waiting.")
    fill = tempfile.mkdtemp(prefix="velora-fill.")
    results = {}
    try:
        if len([n for n in os.listdir(folder) if n.startswith("step")]) != STEP_COUNT:
            make_step_photos(folder)
        make_fill_folder(fill)
        for name, viewer in runs:
            home = tempfile.mkdtemp(prefix="velora-home.")
            try:
                results[name] = waiting(name, viewer, folder, home)
                if not os.path.basename(viewer).startswith("geeqie"):
                    results[name].update(filling(viewer, fill, home))
            finally:
                shutil.rmtree(home)
    finally:
        if not os.environ.get("PHOTOS"):
            shutil.rmtree(folder)
        shutil.rmtree(fill)
    with open("/proc/loadavg") as f:
        print("load average:", f.read().split()[0])
    keys = []
    for r in results.values():
        keys += [k for k in r if k not in keys]
    print("| | " + " | ".join(name for name, _ in runs) + " |")
    print("|---|" + "---:|" * len(runs))
    for k in keys:
        print("| %s | " % k + " | ".join("%.2f" % results[name][k] if k in results[name] else "–"
                                         for name, _ in runs) + " |")


def main():
    if sys.argv[1:2] == ["--waiting"]:
        main_waiting([a.split("=", 1) for a in sys.argv[2:]])
        return
    runs = [a.split("=", 1) for a in sys.argv[1:]]
    if not runs:
        sys.exit(__doc__)
    for tool in ("Xvfb", "openbox", "xdotool"):
        if not shutil.which(tool):
            sys.exit("needs %s (scripts/bootstrap)" % tool)
    # PHOTOS=DIR keeps the photos between runs (they take a while to make).
    folder = os.environ.get("PHOTOS") or tempfile.mkdtemp(prefix="velora-stepping.")
    try:
        if len([n for n in os.listdir(folder) if n.endswith(".jpg")]) != COUNT:
            make_photos(folder)
        results = {name: measure(viewer, folder) for name, viewer in runs}
    finally:
        if not os.environ.get("PHOTOS"):
            shutil.rmtree(folder)
    with open("/proc/loadavg") as f:
        print("load average:", f.read().split()[0])
    keys = list(next(iter(results.values())).keys())
    print("| | " + " | ".join(name for name, _ in runs) + " |")
    print("|---|" + "---:|" * len(runs))
    for k in keys:
        print("| %s | " % k + " | ".join("%.2f" % results[name][k] for name, _ in runs) + " |")


if __name__ == "__main__":
    main()
