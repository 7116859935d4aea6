"""Hostile pages on 127.0.0.1, for the end-to-end runs: scripts that never
return, text and XML the engine chews on for minutes, pages that go on
somewhere else by themselves, downloads, challenges and responses that never
end. Solid colour pages come from e2e_pages.PageServer's rule: /rrggbb.
"""

import hashlib
import re
import time

from e2e_pages import LoopbackSite, QuietHandler, colour_page

GREEN = "00c000"


def _entities_xml():
    # Each level names the one below ten times: 10^9 expansions in all.
    lines = ['<?xml version="1.0"?>', "<!DOCTYPE lolz [", '<!ENTITY lol0 "lol">']
    for i in range(1, 10):
        lines.append(f'<!ENTITY lol{i} "' + f"&lol{i - 1};" * 10 + '">')
    lines.append("]>")
    lines.append("<lolz>&lol9;</lolz>")
    return "\n".join(lines).encode()


class HostileServer(LoopbackSite):
    """Every hostile page by its path; anything else as PageServer's colours."""

    LONG_LINE_BYTES = 30 * 1024 * 1024

    def __init__(self):
        site = self  # whose `released` ends held connections
        long_line = b"x" * self.LONG_LINE_BYTES
        entities = _entities_xml()
        self.requests = requests = []

        class Handler(QuietHandler):
            protocol_version = "HTTP/1.1"

            def page(self, body, head=""):
                return (
                    "<!DOCTYPE html><html><head><meta charset='utf-8'>" + head + "</head>"
                    f"<body style='margin:0;background:#{GREEN}'>" + body + "</body></html>"
                ).encode()

            def do_GET(self):
                path = self.path
                requests.append(path)
                if re.fullmatch(r"/[0-9a-fA-F]{6}", path):
                    self.send(colour_page(path[1:].lower()))
                elif path == "/pushing-red":
                    # A single-page site's router: the page gives itself another address.
                    self.send(colour_page("ff0000").replace(
                        b"</body>", b"<script>history.pushState(null,'','/red/home')</script></body>"))
                elif path == "/spin":
                    self.send(self.page("", "<script>for(;;){}</script>"))
                elif path == "/spin-later":
                    self.send(self.page("", "<script>onload=()=>setTimeout(()=>{for(;;){}},300)"
                                            "</script>"))
                elif path == "/alerts":
                    self.send(self.page("", "<script>for(let i=0;i<50;i++)alert(i)</script>"))
                elif path == "/popup":
                    # The new window would show red; the page itself stays green.
                    self.send(self.page("", "<script>open('/ff0000');open('/ff0000','_blank',"
                                            "'noopener')</script>"))
                elif path == "/long-line":
                    self.send(long_line, "text/plain")
                elif path == "/entities":
                    self.send(entities, "application/xml")
                elif path == "/refresh-to-hang":
                    self.send(self.page("", "<meta http-equiv='refresh' content='1.5;url=/hang'>"))
                elif path in ("/hang", "/silent"):
                    # Headers (for /silent) and then nothing, for ever.
                    if path == "/silent":
                        self.send_response(200)
                        self.send_header("Content-Type", "text/html")
                        self.send_header("Content-Length", "100000")
                        self.end_headers()
                        self.wfile.flush()
                    site.released.wait()
                elif path == "/download":
                    self.send(b"\0" * 100000, "application/octet-stream",
                              headers=[("Content-Disposition", 'attachment; filename="a.bin"')])
                elif path == "/digest":
                    nonce = hashlib.md5(str(time.time()).encode()).hexdigest()
                    self.send(b"", status=401, headers=[
                        ("WWW-Authenticate",
                         f'Digest realm="sorvane", qop="auth", nonce="{nonce}", algorithm=MD5')])
                elif path == "/chunks":
                    self.send_response(200)
                    self.send_header("Content-Type", "text/html; charset=utf-8")
                    self.send_header("Transfer-Encoding", "chunked")
                    self.end_headers()
                    try:
                        while not site.released.is_set():
                            chunk = b"<i></i>"
                            self.wfile.write(b"%x\r\n%s\r\n" % (len(chunk), chunk))
                            self.wfile.flush()
                            time.sleep(0.05)
                    except OSError:
                        pass
                else:
                    self.send_error(404)

        super().__init__(Handler)
