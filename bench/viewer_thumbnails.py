#!/usr/bin/python3
"""The column's thumbnails as a user meets them, timed on a virtual display.

A folder of 500 photos (3000 x 2000 JPEGs: twenty pictures under 25 names each, by hard links,
so every name is a file of its own to the viewer and to the desktop's thumbnail cache). Each
picture is mostly a block of its own colour, so one pixel at a cell's centre tells that its
thumbnail is drawn. The viewer runs maximised under openbox on Xvfb (1920 x 1080).

  first start   with an empty thumbnail cache: process start until every visible cell shows its
                thumbnail; and until the last thumbnail the viewer makes by itself (the visible
                cells, then the next screenful each way) is written to the cache. vipsthumbnail
                then makes the same files' thumbnails at the cache's size (128, PNG), in one
                run, both cores free to both: the ratio of the two, counted from the process
                start (which alone is a third of the viewer's time) and from the window shown.
  second start  with the cache the first start left: from the window on screen until every
                visible cell shows its thumbnail.

Usage: bench/viewer_thumbnails.py VIEWER   (a Release build's TesselImageViewer)
Needs Xvfb, openbox, vipsthumbnail and Pillow with numpy (scripts/bootstrap --bench).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import numpy as np
from PIL import Image

from viewer_stepping import Desktop, colour, grabber, near, wait_for

W, H = 3000, 2000
PICTURES, NAMES = 20, 500
VISIBLE = 9  # whole cells of 104 pixels in the maximised column, from y = 95


def make_folder(folder):
    y, x = np.mgrid[0:H, 0:W].astype(np.float32)
    rng = np.random.default_rng(3)
    for k in range(PICTURES):
        img = np.stack([(x / W * 200 + 9 * k) % 256, (y / H * 180) % 256, (x + y) / 25 % 256], axis=-1)
        img += rng.normal(0, 6, size=(H, W, 1)).astype(np.float32)
        img = np.clip(img, 0, 255).astype(np.uint8)
        img[H // 6:H - H // 6, W // 6:W - W // 6] = colour(k)
        Image.fromarray(img).save(os.path.join(folder, "src%02d.jpg" % k), quality=90)
    for i in range(NAMES):
        os.link(os.path.join(folder, "src%02d.jpg" % (i % PICTURES)), os.path.join(folder, "p%03d.jpg" % i))
    for k in range(PICTURES):
        os.remove(os.path.join(folder, "src%02d.jpg" % k))


def cell_centre(i):
    return 55, 95 + 104 * i


def all_visible_drawn():
    return all(near(grabber().pixel(*cell_centre(i)), colour(i % PICTURES)) for i in range(VISIBLE))


def window_shown():
    # The root window is black; the column's cells and the window's frame are not.
    return grabber().grab(0, 0, 130, 1080).max() > 40


def cached(cache):
    folder = os.path.join(cache, "thumbnails", "normal")
    return [os.path.join(folder, n) for n in os.listdir(folder)] if os.path.isdir(folder) else []


def settle(cache, quiet=2.0, timeout=120):
    # Until no thumbnail has been written for QUIET seconds.
    t0, last, count = time.monotonic(), time.monotonic(), -1
    while time.monotonic() - t0 < timeout:
        n = len(cached(cache))
        if n != count:
            count, last = n, time.monotonic()
        elif time.monotonic() - last > quiet:
            return
        time.sleep(0.1)


def start(viewer, folder, home):
    desk = Desktop()
    env = {"HOME": home, "XDG_CONFIG_HOME": home + "/config", "XDG_CACHE_HOME": home + "/cache",
           "XDG_DATA_HOME": home + "/data"}
    t0, wall0 = time.monotonic(), time.time()
    desk.start([viewer, folder, "*.jpg"], env)
    return desk, t0, wall0


def first_start(viewer, folder, home):
    out = {}
    desk, t0, wall0 = start(viewer, folder, home)
    try:
        shown = wait_for(window_shown, 60)
        t = wait_for(all_visible_drawn, 120)
        out["first start: window on screen (s)"] = shown - t0 if shown else float("nan")
        out["first start: visible thumbnails drawn (s)"] = t - t0 if t else float("nan")
        settle(home + "/cache")
    finally:
        desk.close()
    files = cached(home + "/cache")
    out["first start: thumbnails the viewer made"] = len(files)
    out["first start: last one written (s)"] = max(os.path.getmtime(f) for f in files) - wall0
    # The same files through vipsthumbnail, named by the cache entries' Thumb::URI.
    sources = [Image.open(f).info["Thumb::URI"][len("file://"):] for f in files]
    out_dir = tempfile.mkdtemp(prefix="velora-vips.")
    try:
        v0 = time.monotonic()
        subprocess.run(["vipsthumbnail", "--size", "128", "-o", out_dir + "/%s.png", *sources], check=True)
        out["vipsthumbnail over the same files (s)"] = time.monotonic() - v0
    finally:
        shutil.rmtree(out_dir)
    vips = out["vipsthumbnail over the same files (s)"]
    last = out["first start: last one written (s)"]
    out["first start / vipsthumbnail, process start included"] = last / vips
    out["first start / vipsthumbnail, from the window on screen"] = (last - out["first start: window on screen (s)"]) / vips
    return out


def second_start(viewer, folder, home):
    out = {}
    desk, t0, _ = start(viewer, folder, home)
    try:
        shown = wait_for(window_shown, 60)
        t = wait_for(all_visible_drawn, 60)
        out["second start: window on screen (s)"] = shown - t0 if shown else float("nan")
        out["second start: window to visible thumbnails drawn (s)"] = t - shown if t and shown else float("nan")
    finally:
        desk.close()
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for tool in ("Xvfb", "openbox", "vipsthumbnail"):
        if not shutil.which(tool):
            sys.exit("needs %s (scripts/bootstrap --bench)" % tool)
    viewer = os.path.abspath(sys.argv[1])
    folder = tempfile.mkdtemp(prefix="velora-thumbs.")
    home = tempfile.mkdtemp(prefix="velora-home.")
    try:
        make_folder(folder)
        results = first_start(viewer, folder, home)
        results.update(second_start(viewer, folder, home))
    finally:
        shutil.rmtree(folder)
        shutil.rmtree(home)
    with open("/proc/loadavg") as f:
        print("load average:", f.read().split()[0])
    for k, v in results.items():
        print("| %s | %s |" % (k, v if isinstance(v, int) else "%.3f" % v))


if __name__ == "__main__":
    main()
