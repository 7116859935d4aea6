"""Pages to visit and pictures to check, for the end-to-end tests: a tiny
web server on 127.0.0.1 with pages of one solid colour each, a reader for
the 24-bit BMP pictures the program saves, and its picture-naming rule.
"""

import http.server
import re
import socketserver
import struct
import threading

from e2e_desk import TestFailure

PICTURE_WIDTH = 672
PICTURE_HEIGHT = 568
PICTURE_BYTES = 1145142
PICTURE_NAME = re.compile(
    r"^(\d{4})年(\d{1,2})月(\d{1,2})日"
    r"(?:(\d{1,2})时(?:(\d{1,2})分(?:(\d{1,2})秒)?)?)?"
    r"(?:\((\d+)\))?\.jpg$"
)


def colour_page(hex_colour):
    return (
        "<!DOCTYPE html><html><head><meta charset='utf-8'><title>%s</title></head>"
        "<body style='margin:0;background:#%s'></body></html>" % (hex_colour, hex_colour)
    ).encode()


def serve_on_loopback(handler):
    """A threaded HTTP server for this handler on a free port of 127.0.0.1,
    serving from a thread of its own until it is shut down."""

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True
        allow_reuse_address = True

    server = Server(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class QuietHandler(http.server.BaseHTTPRequestHandler):
    """A request handler that logs nothing and sends whole, uncached bodies."""

    def send(self, body, content_type="text/html; charset=utf-8", status=200, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class LoopbackSite:
    """A server for a handler class on 127.0.0.1. Handlers that hold a
    connection open wait on `released`, which closing sets."""

    def __init__(self, handler):
        self.released = threading.Event()
        self.server = serve_on_loopback(handler)
        self.port = self.server.server_address[1]

    def url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"

    def close(self):
        self.released.set()
        self.server.shutdown()
        self.server.server_close()


class PageServer(LoopbackSite):
    """Serves /<rrggbb> as a page of that solid colour on 127.0.0.1."""

    def __init__(self):
        requests = self.requests = []

        class Handler(QuietHandler):
            def do_GET(self):
                path = self.path.strip("/")
                requests.append(path)
                if re.fullmatch(r"[0-9a-fA-F]{6}", path):
                    self.send(colour_page(path.lower()))
                else:
                    self.send_error(404)

        super().__init__(Handler)

    def url(self, hex_colour):
        """The page of this colour ("rrggbb")."""
        return super().url("/" + hex_colour)


class Bmp:
    """A 24-bit uncompressed BMP held in memory."""

    def __init__(self, data):
        if data[:2] != b"BM":
            raise TestFailure("not a BMP: it does not start with 'BM'")
        (self.file_size,) = struct.unpack_from("<I", data, 2)
        (self.offset,) = struct.unpack_from("<I", data, 10)
        header_size, width, height, planes, bits, compression = struct.unpack_from(
            "<IiiHHI", data, 14
        )
        if bits != 24 or compression != 0:
            raise TestFailure(f"BMP of {bits} bits, compression {compression}; expected 24, 0")
        self.width = width
        self.height = abs(height)
        self.bottom_up = height > 0
        self.stride = (width * 3 + 3) & ~3
        self.data = data

    def pixel(self, x, y):
        """(r, g, b) at x, y counted from the top left."""
        row = self.height - 1 - y if self.bottom_up else y
        i = self.offset + row * self.stride + x * 3
        b, g, r = self.data[i : i + 3]
        return (r, g, b)

    def colours_in(self, left, top, right, bottom, step=8):
        """The set of colours in a rectangle, sampled on a grid."""
        return {
            self.pixel(x, y) for y in range(top, bottom, step) for x in range(left, right, step)
        }


def read_bmp(path):
    with open(path, "rb") as f:
        return Bmp(f.read())


def picture_size(data):
    """(width, height) from a picture's own header: BMP, PNG or JPEG."""
    if data[:2] == b"BM":
        width, height = struct.unpack_from("<ii", data, 18)
        return (width, abs(height))
    if data[:8] == b"\x89PNG\r\n\x1a\n":
        return struct.unpack(">II", data[16:24])
    if data[:3] != b"\xff\xd8\xff":
        raise TestFailure("neither BMP, PNG nor JPEG")
    i = 2
    while i + 9 <= len(data):
        marker, length = data[i + 1], struct.unpack(">H", data[i + 2 : i + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            height, width = struct.unpack(">HH", data[i + 5 : i + 9])
            return (width, height)
        i += 2 + length
    raise TestFailure("a JPEG without a frame header")


def picture_sort_key(file_name):
    """(year, month, day, hour, minute, second, copy) from a picture's name,
    or None when the name breaks the date-time rule."""
    m = PICTURE_NAME.match(file_name)
    if not m:
        return None
    y, mo, d, h, mi, s, n = m.groups()
    parts = [int(y), int(mo), int(d), int(h or 0), int(mi or 0), int(s or 0), int(n or 1)]
    # Zeros are left out, never written: 9时0分7秒 keeps its 0 minutes only
    # because seconds follow, and a copy number starts at 2.
    if s is not None and int(s) == 0:
        return None
    if s is None and mi is not None and int(mi) == 0:
        return None
    if mi is None and h is not None and int(h) == 0:
        return None
    if n is not None and int(n) < 2:
        return None
    return tuple(parts)
