"""harness.py — drives programs on their own X server for the end-to-end tests (stdlib only).

Every wait polls with a deadline; nothing sleeps for a fixed time.

    with XSession() as x:              Xvfb on a free display (-displayfd) plus openbox; of the
                                       given depth (24 unless TORVEX_E2E_DEPTH says otherwise:
                                       8 is a palettised display, 16 RGB565)
        x.env                          environment for programs on that display (DISPLAY set)
        x.start(args, env={}, log=p, cwd=None)  a program on the display (Popen; output to log)
        x.tool("xdotool", ...)         run an X tool there and return its stdout
        x.find_window(title)           window id of the first window with that exact title
        x.client_geometry(w)           (x, y, width, height) of the client area (xwininfo)
        x.placed_geometry(w, size)     the same once the window manager has framed and placed
                                       the window (and it has that (width, height), if given)
        x.frame_extents(w)             (left, right, top, bottom) of the window manager's frame
        x.outer_rect(w)                (left, top, right, bottom) of the frame's outside
        x.outer_origin(w)              (x, y) of the frame's outer top-left corner
        x.window_in_tree(name)         id of a window of that name anywhere in the tree, or None
        x.title(w), x.active_window()    the window's name (_NET_WM_NAME or WM_NAME)
        x.screenshot()                 Image of the root window (exact colours, no cursor), on
                                       a palettised display through the default colormap
        x.window_shot(w)               Image of a window, through the window's own colormap
        x.colormap(w)                  (colormap id, installed) of a window (xwininfo)
        x.colours(colormap)            its 256 entries as (r, g, b), 8 bits each
        x.key(keys), x.move_pointer(px, py), x.click(button), x.pointer()
        x.wait_confined(area)          until a move away stays in area (x, y, width, height)
        x.activate(w), x.minimise(w), x.close(w) (wmctrl: the window manager's close)
    wait_until(check, timeout, what)   polls check() until it returns a true value
    LogFile(path)                      a log the program appends to: .lines(), .wait_for(regex)
    Image(width, height, rgb)          .pixel(px, py) -> (r, g, b)
"""
import ctypes
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time


class Timeout(AssertionError):
    pass


def _die_with_parent():
    """In a child before exec: a SIGTERM when the test process dies, however it dies."""
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def wait_until(check, timeout=10.0, what="a condition", interval=0.02):
    """Calls check() until it returns something true, and returns that; Timeout after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Timeout("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


class Image:
    """An RGB picture: rgb holds width * height * 3 bytes, rows from the top."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, px, py):
        i = (py * self.width + px) * 3
        return tuple(self.rgb[i:i + 3])


def parse_ppm(data):
    """Decodes a binary PPM (P6, maximum 255) as ImageMagick writes it."""
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at) + 1
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise ValueError("not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    at += 1  # the single blank after the maximum
    return Image(width, height, data[at:at + width * height * 3])


class LogFile:
    """A text log that a program appends to, one line per event."""

    def __init__(self, path):
        self.path = path

    def lines(self):
        try:
            with open(self.path, encoding="utf-8", errors="replace") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def wait_for(self, pattern, timeout=10.0, after=0):
        """Waits for a line matching pattern at index after or later; returns (index, match)."""
        regex = re.compile(pattern)

        def find():
            for i, line in enumerate(self.lines()[after:], after):
                m = regex.search(line)
                if m:
                    return (i, m)
            return None

        return wait_until(find, timeout, "log line /%s/ in %s" % (pattern, self.path))


class XColor(ctypes.Structure):
    _fields_ = [("pixel", ctypes.c_ulong), ("red", ctypes.c_ushort), ("green", ctypes.c_ushort),
                ("blue", ctypes.c_ushort), ("flags", ctypes.c_char), ("pad", ctypes.c_char)]


class XSession:
    """An X server of its own (Xvfb, 1024x768, depth 24 by default) with openbox; stopped on
    exit."""

    def __init__(self, width=1024, height=768, depth=None):
        self.folder = tempfile.mkdtemp(prefix="torvex-x-")
        self.width, self.height = width, height
        self.depth = depth or int(os.environ.get("TORVEX_E2E_DEPTH", "24"))
        self.processes = []
        read, write = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx%d" % (width, height, self.depth),
             "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=_die_with_parent)
        os.close(write)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read)
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env.pop("SDL_VIDEODRIVER", None)
        try:
            # The server answers requests before any client is started.
            wait_until(lambda: subprocess.run(["xprop", "-root"], env=self.env,
                                              capture_output=True).returncode == 0,
                       20, "the X server to answer")
            self._start_window_manager()
        except BaseException:
            self.stop()
            raise

    def _start_window_manager(self):
        """openbox, started again if it gives up early; ready when it has claimed the screen."""
        manager = None

        def ready():
            nonlocal manager
            if manager is None or manager.poll() is not None:
                manager = self.start(["openbox"], log=os.path.join(self.folder, "openbox.log"))
            return "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.tool(
                "xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False)

        wait_until(ready, 30, "openbox", interval=0.1)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self, args, env=None, log=None, cwd=None):
        out = open(log, "ab") if log else subprocess.DEVNULL
        process = subprocess.Popen(args, env=dict(self.env, **(env or {})), stdout=out,
                                   stderr=subprocess.STDOUT if log else subprocess.DEVNULL,
                                   cwd=cwd, preexec_fn=_die_with_parent)
        if log:
            out.close()  # the program has its own copy
        self.processes.append(process)
        return process

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.processes = []
        if self.server.poll() is None:
            self.server.terminate()
            self.server.wait(10)
        shutil.rmtree(self.folder, ignore_errors=True)

    def tool(self, *args, check=True, binary=False):
        result = subprocess.run(args, env=self.env, capture_output=True, timeout=30)
        if check and result.returncode != 0:
            raise RuntimeError("%s failed: %s" % (" ".join(args), result.stderr.decode()))
        return result.stdout if binary else result.stdout.decode()

    def find_window(self, title, timeout=15.0):
        def search():
            out = self.tool("xdotool", "search", "--onlyvisible", "--name",
                            "^%s$" % re.escape(title), check=False)
            ids = [int(w) for w in out.split()]
            if ids:
                return ids[0]
            # Windows named only in UTF-8 (SDL's message boxes) escape xdotool's search.
            active = self.active_window()
            return active if active and self.title(active) == title else None

        return wait_until(search, timeout, "a window titled %r" % title)

    def client_geometry(self, window):
        out = self.tool("xwininfo", "-id", str(window))
        value = {}
        for key, name in (("x", "Absolute upper-left X"), ("y", "Absolute upper-left Y"),
                          ("width", "Width"), ("height", "Height")):
            value[key] = int(re.search(r"%s:\s+(-?\d+)" % name, out).group(1))
        return value["x"], value["y"], value["width"], value["height"]

    def placed_geometry(self, window, size=None, timeout=20.0):
        # A window is in the tree before it is mapped, framed and placed, and a program may
        # size it again once its frame is known: its geometry counts once it is viewable and
        # framed and two readings in a row agree.
        def placed():
            if "IsViewable" not in self.tool("xwininfo", "-id", str(window), check=False):
                return None
            if self.frame_extents(window) is None:
                return None
            first = self.client_geometry(window)
            if size is not None and first[2:] != tuple(size):
                return None
            time.sleep(0.05)
            return first if self.client_geometry(window) == first else None

        return wait_until(placed, timeout, "window %#x placed%s" % (
            window, "" if size is None else " at %d by %d" % tuple(size)))

    def frame_extents(self, window):
        out = self.tool("xprop", "-id", str(window), "_NET_FRAME_EXTENTS", check=False)
        m = re.search(r"=\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)", out)
        return tuple(int(v) for v in m.groups()) if m else None

    def outer_rect(self, window):
        left, right, top, bottom = wait_until(lambda: self.frame_extents(window), 10,
                                              "frame extents")
        x, y, width, height = self.client_geometry(window)
        return x - left, y - top, x + width + right, y + height + bottom

    def outer_origin(self, window):
        return self.outer_rect(window)[:2]

    def window_in_tree(self, name):
        # Windows without a class (SDL's message boxes) escape xdotool's name search.
        tree = self.tool("xwininfo", "-root", "-tree")
        return next((int(line.split()[0], 16) for line in tree.splitlines()
                     if '"%s"' % name in line), None)

    def title(self, window):
        out = self.tool("xprop", "-id", str(window), "_NET_WM_NAME", "WM_NAME", check=False)
        m = re.search(r'^(?:_NET_WM_NAME|WM_NAME)\([^)]*\) = "(.*)"$', out, re.M)
        return m.group(1) if m else ""

    def active_window(self):
        out = self.tool("xdotool", "getactivewindow", check=False).strip()
        return int(out) if out else None

    def screenshot(self):
        return parse_ppm(self.tool("import", "-window", "root", "-depth", "8", "ppm:-",
                                   binary=True))

    def window_shot(self, window):
        return parse_ppm(self.tool("import", "-window", str(window), "-depth", "8", "ppm:-",
                                   binary=True))

    def colormap(self, window):
        out = self.tool("xwininfo", "-id", str(window))
        m = re.search(r"Colormap: (0x[0-9a-f]+) \((not )?installed\)", out)
        return int(m.group(1), 16), m.group(2) is None

    def colours(self, colormap):
        xlib = ctypes.CDLL("libX11.so.6")
        xlib.XOpenDisplay.restype = ctypes.c_void_p
        xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        xlib.XQueryColors.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p,
                                      ctypes.c_int]
        xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = xlib.XOpenDisplay(self.display.encode())
        if not display:
            raise RuntimeError("cannot open %s" % self.display)
        cells = (XColor * 256)()
        for i in range(256):
            cells[i].pixel = i
        xlib.XQueryColors(display, colormap, cells, 256)
        xlib.XCloseDisplay(display)
        return [(c.red >> 8, c.green >> 8, c.blue >> 8) for c in cells]

    def key(self, *keys):
        self.tool("xdotool", "key", *keys)

    def move_pointer(self, px, py):
        self.tool("xdotool", "mousemove", str(px), str(py))

    def click(self, button=1):
        self.tool("xdotool", "click", str(button))

    def pointer(self):
        out = self.tool("xdotool", "getmouselocation", "--shell")
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"])

    def wait_confined(self, area, timeout=10.0):
        # A window confines the pointer once it has the focus, which the window manager gives
        # some time after the window shows.
        x, y, width, height = area
        inside = lambda p: x <= p[0] < x + width and y <= p[1] < y + height  # noqa: E731
        far = (0, 0) if x + width // 2 > self.width // 2 else (self.width - 1, self.height - 1)
        wait_until(lambda: self.move_pointer(*far) or inside(self.pointer()), timeout,
                   "the pointer confined")

    def activate(self, window):
        self.tool("xdotool", "windowactivate", "--sync", str(window), check=False)
        wait_until(lambda: self.active_window() == window, 10, "window %d active" % window)

    def minimise(self, window):
        self.tool("xdotool", "windowminimize", "--sync", str(window))

    def close(self, window):
        self.tool("wmctrl", "-i", "-c", hex(window))
