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
Usage: [PHOTOS=DIR] bench/viewer_stepping.py NAME=VIEWER [NAME=VIEWER ...]
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
from PIL import Image, ImageGrab

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


def pixel(x, y):
    return ImageGrab.grab(bbox=(x, y, x + 1, y + 1), xdisplay=DISPLAY).getpixel((0, 0))[:3]


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


def main():
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
