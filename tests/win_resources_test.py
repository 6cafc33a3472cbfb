"""win_resources_test.py — the Windows build's icon and cursor files, as torvex-win-resources
makes them from data/*.art, read back pixel by pixel (stdlib only).

Run: python3 tests/win_resources_test.py (TORVEX_WIN_RESOURCES names the tool).
"""
import os
import struct
import subprocess
import tempfile
import unittest

TOOL = os.environ.get("TORVEX_WIN_RESOURCES", "")
DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")


def read_art(name):
    with open(os.path.join(DATA, name)) as f:
        lines = [line.rstrip("\n") for line in f if line.strip() and not line.startswith("#")]
    return lines[0].split(), lines[1:]


def make(art, suffix):
    out = tempfile.mktemp(suffix=suffix)
    subprocess.run([TOOL, os.path.join(DATA, art), out], check=True)
    with open(out, "rb") as f:
        data = f.read()
    os.remove(out)
    return data


def mask_bit(data, at, width, x, y, height):
    """Bit (x, y) of a 1-bit mask stored bottom-up at `at`, rows padded to 32 bits."""
    row_bytes = (width + 31) // 32 * 4
    byte = data[at + (height - 1 - y) * row_bytes + x // 8]
    return byte >> (7 - x % 8) & 1


class WinResourcesTest(unittest.TestCase):
    def test_the_cursor_keeps_its_hot_spot_and_every_kind_of_pixel(self):
        header, rows = read_art("AppCursor.art")
        width, height, hot_x, hot_y = (int(v) for v in header[2:6])
        data = make("AppCursor.art", ".cur")
        reserved, kind, count = struct.unpack("<HHH", data[:6])
        self.assertEqual((reserved, kind, count), (0, 2, 1))
        w, h, _, _, hx, hy, size, offset = struct.unpack("<BBBBHHII", data[6:22])
        self.assertEqual((w, h, hx, hy), (width, height, hot_x, hot_y))
        self.assertEqual(offset + size, len(data))
        xor_at = offset + 40 + 8  # header, then two colours
        and_at = xor_at + (width + 31) // 32 * 4 * height
        # '#' black: AND 0 XOR 0; 'o' white: 0 1; '.' transparent: 1 0; '~' inverted: 1 1.
        expected = {"#": (0, 0), "o": (0, 1), ".": (1, 0), "~": (1, 1)}
        for y, row in enumerate(rows):
            for x, c in enumerate(row):
                got = (mask_bit(data, and_at, width, x, y, height),
                       mask_bit(data, xor_at, width, x, y, height))
                self.assertEqual(got, expected[c], (x, y, c))

    def test_the_icon_has_its_colours_and_its_transparent_pixels(self):
        header, rows = read_art("AppIcon.art")
        width, height = int(header[2]), int(header[3])
        data = make("AppIcon.art", ".ico")
        self.assertEqual(struct.unpack("<HHH", data[:6]), (0, 1, 1))
        offset = struct.unpack("<I", data[18:22])[0]
        self.assertEqual(struct.unpack("<iiHH", data[offset + 4:offset + 16]),
                         (width, 2 * height, 1, 32))
        pixels = offset + 40
        and_at = pixels + width * height * 4
        for y, row in enumerate(rows):
            for x, c in enumerate(row):
                at = pixels + ((height - 1 - y) * width + x) * 4
                alpha = data[at + 3]
                self.assertEqual(mask_bit(data, and_at, width, x, y, height), c == ".")
                self.assertEqual(alpha, 0 if c == "." else 255)
                if c == "f":
                    self.assertEqual(data[at:at + 3], b"\xff\xff\xff")

    def test_a_malformed_picture_is_refused_with_its_line(self):
        with tempfile.TemporaryDirectory() as folder:
            art = os.path.join(folder, "bad.art")
            with open(art, "w") as f:
                f.write("# comment\ncursor Bad 4 2 0 0\n#..#\n#.x#\n")
            result = subprocess.run([TOOL, art, os.path.join(folder, "bad.cur")],
                                    capture_output=True, text=True)
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("bad.art:4", result.stderr)
            self.assertFalse(os.path.exists(os.path.join(folder, "bad.cur")))

    def test_the_table_holds_every_picture_as_the_sdl_backend_reads_it(self):
        with tempfile.TemporaryDirectory() as folder:
            table = os.path.join(folder, "resources.cpp")
            arts = [os.path.join(DATA, name) for name in ("AppIcon.art", "AppCursor.art")]
            subprocess.run([TOOL, "--table", table] + arts, check=True)
            with open(table) as f:
                text = f.read()
            for name, kind, chars in (("AppIcon.art", "ResourceIcon", "0123456789abcdef"),
                                      ("AppCursor.art", "ResourceCursor", ".#o~")):
                header, rows = read_art(name)
                hot = header[4:6] if kind == "ResourceCursor" else ["0", "0"]
                self.assertIn('{"%s", %s, %s, %s, %s, %s, %sPixels},' % (
                    header[1], kind, header[2], header[3], hot[0], hot[1], header[1]), text)
                body = text.split("const uint8_t %sPixels[] = {\n" % header[1])[1]
                lines = body.split("\n")[:len(rows)]
                for row, line in zip(rows, lines):
                    # Icons: the colour, 255 for transparent; cursors: the character's place.
                    expected = [chars.index(c) if c in chars else 255 for c in row]
                    self.assertEqual([int(v) for v in line.rstrip(",").split(",")], expected)
            self.assertIn("ProgramResourceCount = 2;", text)
            # The same pictures again leave the file as it was, so nothing is compiled again.
            os.utime(table, (1, 1))
            subprocess.run([TOOL, "--table", table] + arts, check=True)
            self.assertEqual(os.stat(table).st_mtime, 1)


if __name__ == "__main__":
    unittest.main()
