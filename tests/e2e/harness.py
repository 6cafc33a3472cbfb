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
        x.fill(w, x, y, width, height, pixel)  draws a rectangle into window w from a client of
                                       its own (the pixel value in w's visual), behind the back
                                       of the window's program; returns once the server did it
    wait_until(check, timeout, what)   polls check() until it returns a true value
    LogFile(path)                      a log the program appends to: .lines(), .wait_for(regex)
    Image(width, height, rgb)          .pixel(px, py) -> (r, g, b)
"""
import ctypes
import json
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

    def fill(self, window, px, py, width, height, pixel):
        xlib = ctypes.CDLL("libX11.so.6")
        xlib.XOpenDisplay.restype = ctypes.c_void_p
        xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        xlib.XCreateGC.restype = ctypes.c_void_p
        xlib.XCreateGC.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_void_p]
        xlib.XSetForeground.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_ulong]
        xlib.XFillRectangle.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p,
                                        ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint]
        xlib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        xlib.XFreeGC.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        display = xlib.XOpenDisplay(self.display.encode())
        if not display:
            raise RuntimeError("cannot open display %s" % self.display)
        try:
            gc = xlib.XCreateGC(display, window, 0, None)
            xlib.XSetForeground(display, gc, pixel)
            xlib.XFillRectangle(display, window, gc, px, py, width, height)
            xlib.XSync(display, 0)  # the server has drawn it when this returns
            xlib.XFreeGC(display, gc)
        finally:
            xlib.XCloseDisplay(display)

class SwaySession:
    """A Wayland compositor of its own: sway, headless with the pixman renderer, on a private
    XDG_RUNTIME_DIR, one output of width by height, every window floating at its own size.
    sway refuses to run as root, so under root (as CI runs) it runs as user 65534; clients
    running as root still reach its socket. Stopped on exit.

        s.env                          environment for programs on this compositor
        s.start(args, env={}, log=p, cwd=None), s.tool(...)   as XSession's
        s.tree(), s.windows()          swaymsg's tree; its windows (nodes with an app_id)
        s.find_window(title)           con id of the first window with that title
        s.client_geometry(w)           (x, y, width, height) of its client area
        s.placed_geometry(w, size)     the same once it has that size and stays there
        s.focused(w)                   whether it has the focus
        s.screenshot()                 Image of the output (grim; the pointer is drawn in it)
        s.key(keys), s.move_pointer(px, py), s.move_by(dx, dy), s.click(button)
                                       through a pointer and keyboard of our own (WAYLAND_INPUT)
        s.command(...)                 a sway command (swaymsg)
    """

    CONFIG = ("output HEADLESS-1 resolution {width}x{height} position 0 0\n"
              "xwayland disable\n"
              # Without a seat configuration sway 1.7 grants no pointer constraint at all.
              "seat * pointer_constraint enable\n"
              'for_window [app_id=".*"] floating enable\n')

    def __init__(self, width=1280, height=1024, input_helper=None):
        self.width, self.height = width, height
        # input_helper False: the seat keeps no pointer and no keyboard.
        self.input_helper = (os.environ.get("WAYLAND_INPUT", "") if input_helper is None
                             else input_helper)
        self.processes = []
        self.input = None
        self.folder = tempfile.mkdtemp(prefix="torvex-sway-")
        os.chmod(self.folder, 0o711)  # the compositor's user reads its configuration here
        self.runtime = os.path.join(self.folder, "runtime")
        os.mkdir(self.runtime, 0o700)
        config = os.path.join(self.folder, "sway.conf")
        with open(config, "w") as f:
            f.write(self.CONFIG.format(width=width, height=height))
        os.chmod(config, 0o644)
        command = ["sway", "-c", config]
        if os.geteuid() == 0:
            os.chown(self.runtime, 65534, 65534)
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] + command
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.folder,
               "XDG_RUNTIME_DIR": self.runtime, "WLR_BACKENDS": "headless",
               "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman"}
        with open(os.path.join(self.folder, "sway.log"), "ab") as log:
            self.server = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT,
                                           preexec_fn=_die_with_parent)
        try:
            self.env = dict(os.environ, XDG_RUNTIME_DIR=self.runtime, **wait_until(
                self._sockets, 30, "sway's sockets", interval=0.05))
            # The program's window system is the compositor, not an X server.
            for name in ("DISPLAY", "SDL_VIDEODRIVER", "WAYLAND_DEBUG"):
                self.env.pop(name, None)
            wait_until(lambda: subprocess.run(["swaymsg", "-t", "get_outputs"], env=self.env,
                                              capture_output=True).returncode == 0,
                       20, "sway to answer")
            # The pointer and the keyboard join the seat before any window: a keyboard that
            # joins later loses its first key, and the pointer waits in a corner.
            if self.input_helper:
                self.move_pointer(0, 0)
        except BaseException:
            self.stop()
            raise

    def _sockets(self):
        if self.server.poll() is not None:
            with open(os.path.join(self.folder, "sway.log"), errors="replace") as f:
                raise RuntimeError("sway ended: " + f.read()[-2000:])
        names = os.listdir(self.runtime)
        display = [n for n in names if n.startswith("wayland-") and not n.endswith(".lock")]
        ipc = [n for n in names if n.startswith("sway-ipc.") and n.endswith(".sock")]
        if not display or not ipc:
            return None
        return {"WAYLAND_DISPLAY": display[0], "SWAYSOCK": os.path.join(self.runtime, ipc[0])}

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    start = XSession.start
    tool = XSession.tool

    def stop(self):
        if self.input is not None and self.input.poll() is None:
            self.input.stdin.close()
            self.input.wait(5)
        XSession.stop(self)

    def command(self, *words):
        return self.tool("swaymsg", *words)

    def tree(self):
        return json.loads(self.tool("swaymsg", "-t", "get_tree", "-r"))

    def windows(self):
        found = []

        def walk(node):
            if node.get("app_id") is not None or node.get("shell"):
                found.append(node)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)

        walk(self.tree())
        return found

    def window(self, con):
        return next((w for w in self.windows() if w["id"] == con), None)

    def find_window(self, title, timeout=20.0):
        return wait_until(lambda: next((w["id"] for w in self.windows() if w["name"] == title),
                                       None), timeout, "a window titled %r" % title)

    def client_geometry(self, con):
        w = self.window(con)
        if w is None:
            return None
        r, c = w["rect"], w["window_rect"]
        return r["x"] + c["x"], r["y"] + c["y"], c["width"], c["height"]

    def placed_geometry(self, con, size=None, timeout=20.0):
        # A window is in the tree before sway has floated it and given it its title bar (the
        # configuration gives every window one): it counts once it has, and stays there.
        def placed():
            w = self.window(con)
            if w is None or w["deco_rect"]["height"] == 0:
                return None
            first = self.client_geometry(con)
            if size is not None and first[2:] != tuple(size):
                return None
            time.sleep(0.1)
            return first if self.client_geometry(con) == first else None

        return wait_until(placed, timeout, "window %d placed" % con)

    def focused(self, con):
        w = self.window(con)
        return w is not None and w["focused"]

    def screenshot(self):
        return parse_ppm(self.tool("grim", "-t", "ppm", "-", binary=True))

    def _input(self, line):
        if self.input is None:
            if not self.input_helper:
                raise RuntimeError("WAYLAND_INPUT names no input helper")
            self.input = subprocess.Popen([self.input_helper, str(self.width), str(self.height)],
                                          env=dict(self.env, ASAN_OPTIONS="detect_leaks=0"),
                                          stdin=subprocess.PIPE,
                                          stdout=subprocess.PIPE, text=True,
                                          preexec_fn=_die_with_parent)
            if self.input.stdout.readline().strip() != "ready":
                raise RuntimeError("the input helper did not start")
        self.input.stdin.write(line + "\n")
        self.input.stdin.flush()
        answer = self.input.stdout.readline().strip()
        if answer != "ok":
            raise RuntimeError("input %r: %s" % (line, answer or "no answer"))

    def key(self, *keys):
        for key in keys:
            self._input("key " + ("shift+" + key.lower() if key.isupper() else key))

    def move_pointer(self, px, py):
        self._input("move %d %d" % (px, py))

    def move_by(self, dx, dy):
        self._input("rel %d %d" % (dx, dy))

    def click(self, button=1):
        self._input("click " + ("left" if button == 1 else "right"))
