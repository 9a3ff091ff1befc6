"""A few pixels of an X screen, fast: XGetImage of just the region asked for, over one
connection kept open. (Pillow's ImageGrab fetches the whole screen on a new connection each
time, 0.1-0.4 s a call on a busy machine: longer than much of what the benchmarks measure.)
"""
import ctypes
import ctypes.util

import numpy as np

_x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
_libc = ctypes.CDLL(ctypes.util.find_library("c"))
_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XDefaultRootWindow.restype = ctypes.c_ulong
_x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x11.XGetImage.restype = ctypes.c_void_p
_x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                           ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
_x11.XFree.argtypes = [ctypes.c_void_p]
_x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
_libc.free.argtypes = [ctypes.c_void_p]
_ALL_PLANES, _Z_PIXMAP = 0xFFFFFFFF, 2


class _XImage(ctypes.Structure):
    # The leading fields of Xlib's XImage, as far as the pixels need.
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int)]


class Grabber:
    """The root window of one display (24-bit TrueColor, as Xvfb's screens here are)."""

    def __init__(self, display):
        self.display = _x11.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError("cannot open display " + display)
        self.root = _x11.XDefaultRootWindow(self.display)

    def close(self):
        if self.display:
            _x11.XCloseDisplay(self.display)
            self.display = None

    def grab(self, x, y, w, h):
        """The region's pixels, rows of RGB as int16 (differences do not wrap)."""
        p = _x11.XGetImage(self.display, self.root, x, y, w, h, _ALL_PLANES, _Z_PIXMAP)
        if not p:
            raise RuntimeError("XGetImage failed for %dx%d+%d+%d" % (w, h, x, y))
        img = _XImage.from_address(p)
        stride = img.bytes_per_line
        buf = ctypes.string_at(img.data, h * stride)
        # XDestroyImage is a macro over the image's own functions: its data, then itself.
        _libc.free(img.data)
        _x11.XFree(p)
        rows = np.frombuffer(buf, np.uint8).reshape(h, stride)[:, :w * 4].reshape(h, w, 4)
        return rows[:, :, 2::-1].astype(np.int16)  # BGRX to RGB

    def pixel(self, x, y):
        return tuple(int(v) for v in self.grab(x, y, 1, 1)[0, 0])
