"""Debian's Chromium, headless, driven through its DevTools protocol: the
real browser that the gallery page is checked in, and pictured with.

Each Chromium has a new empty profile and reaches nothing but what it is
given: no background networking, no component updates, no sync. The
protocol's socket listens on 127.0.0.1 only, on a port Chromium picks.
"""

import base64
import json
import os
import shutil
import subprocess
import tempfile
import time
import urllib.request

import websocket  # Debian's python3-websocket

from e2e_desk import TestFailure, end_process

FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--remote-debugging-address=127.0.0.1", "--remote-debugging-port=0",
]


def executable():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    raise TestFailure("no Chromium: install Debian's chromium package (tools/setup.sh linux)")


class Chromium:
    def __init__(self, width=1280, height=900, timeout=30.0):
        self.profile = tempfile.mkdtemp(prefix="sorvane-chromium-")
        self.log = open(os.path.join(self.profile, "chromium.log"), "wb")
        self.process = subprocess.Popen(
            [executable(), *FLAGS, f"--user-data-dir={self.profile}",
             f"--window-size={width},{height}", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT)
        self.timeout = timeout
        self.next_id = 0
        self.events = []
        try:
            port = self._wait(self._port, "Chromium's DevTools port")
            self.socket = websocket.create_connection(
                self._page_socket(port), timeout=timeout, suppress_origin=True)
            self.call("Page.enable")
            self.call("Runtime.enable")
        except Exception:
            self.close()
            raise

    def _wait(self, probe, what):
        deadline = time.monotonic() + self.timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise TestFailure(f"Chromium ended with {self.process.returncode}: {self.output()}")
            found = probe()
            if found:
                return found
            time.sleep(0.1)
        raise TestFailure(f"no {what} within {self.timeout} s: {self.output()}")

    def _port(self):
        try:
            with open(os.path.join(self.profile, "DevToolsActivePort")) as f:
                return int(f.readline())
        except (OSError, ValueError):
            return None

    def _page_socket(self, port):
        def page():
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=5) as r:
                targets = json.load(r)
            return next((t["webSocketDebuggerUrl"] for t in targets if t["type"] == "page"), None)
        return self._wait(page, "page to drive")

    def output(self):
        try:
            with open(os.path.join(self.profile, "chromium.log"), "rb") as f:
                return f.read()[-3000:].decode(errors="replace")
        except OSError:
            return ""

    def call(self, method, **params):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise TestFailure(f"{method}: {message['error']}")
                return message.get("result", {})
            if "method" in message:
                self.events.append(message)

    def wait_event(self, method):
        deadline = time.monotonic() + self.timeout
        while time.monotonic() < deadline:
            for i, e in enumerate(self.events):
                if e["method"] == method:
                    return self.events.pop(i)
            message = json.loads(self.socket.recv())
            if "method" in message:
                self.events.append(message)
        raise TestFailure(f"no {method} within {self.timeout} s")

    def open(self, url):
        """Loads the address and waits for its load event."""
        self.events.clear()
        result = self.call("Page.navigate", url=url)
        if result.get("errorText"):
            raise TestFailure(f"{url}: {result['errorText']}")
        self.wait_event("Page.loadEventFired")

    def evaluate(self, expression):
        """The expression's value (a promise's, once it settles), as JSON."""
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=True, timeout=int(self.timeout * 1000))
        if "exceptionDetails" in result:
            raise TestFailure(f"{expression[:80]}…: {result['exceptionDetails']}")
        return result["result"].get("value")

    def screenshot(self, path):
        result = self.call("Page.captureScreenshot", format="png", captureBeyondViewport=False)
        with open(path, "wb") as f:
            f.write(base64.b64decode(result["data"]))

    def close(self):
        try:
            if getattr(self, "socket", None):
                self.socket.close()
        finally:
            end_process(self.process)
            self.log.close()
            shutil.rmtree(self.profile, ignore_errors=True)
