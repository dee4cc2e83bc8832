#!/usr/bin/env python3
"""Loads a page in the headless Chromium behind KILN_BROWSER_DEVTOOLS, in a
fresh browser context, and prints the milliseconds from Page.navigate to
DOMContentLoaded, then (with --wait-message) the first string the page logs
to its console that starts with "result ".

Usage: chromium_cdp.py URL [--wait-message]"""
import base64
import json
import os
import socket
import sys
import time


class DevTools:
    def __init__(self, address):
        rest = address[len("ws://"):]
        host_port, path = rest.split("/", 1)
        host, port = host_port.rsplit(":", 1)
        self.sock = socket.create_connection((host, int(port)), timeout=60)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET /{path} HTTP/1.1\r\nHost: {host_port}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n").encode())
        answer = b""
        while b"\r\n\r\n" not in answer:
            answer += self.sock.recv(4096)
        self.buffer = answer.split(b"\r\n\r\n", 1)[1]
        self.next_id = 0

    def _read(self, size):
        while len(self.buffer) < size:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise EOFError
            self.buffer += chunk
        data, self.buffer = self.buffer[:size], self.buffer[size:]
        return data

    def receive(self):
        message = b""
        while True:
            head = self._read(2)
            size = head[1] & 0x7F
            if size == 126:
                size = int.from_bytes(self._read(2), "big")
            elif size == 127:
                size = int.from_bytes(self._read(8), "big")
            message += self._read(size)
            if head[0] & 0x80:
                return json.loads(message)

    def send(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        payload = json.dumps(message).encode()
        mask = os.urandom(4)
        header = bytes([0x81])
        if len(payload) < 126:
            header += bytes([0x80 | len(payload)])
        elif len(payload) < 65536:
            header += bytes([0x80 | 126]) + len(payload).to_bytes(2, "big")
        else:
            header += bytes([0x80 | 127]) + len(payload).to_bytes(8, "big")
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(header + mask + masked)
        return self.next_id

    def call(self, method, params=None, session=None):
        wanted = self.send(method, params, session)
        while True:
            message = self.receive()
            if message.get("id") == wanted:
                return message.get("result", {})


def main():
    url = sys.argv[1]
    wait_message = "--wait-message" in sys.argv
    tools = DevTools(os.environ["KILN_BROWSER_DEVTOOLS"])
    context = tools.call("Target.createBrowserContext", {"disposeOnDetach": True})["browserContextId"]
    target = tools.call("Target.createTarget", {"url": "about:blank", "browserContextId": context})["targetId"]
    session = tools.call("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
    tools.call("Page.enable", {}, session)
    tools.call("Runtime.enable", {}, session)
    start = time.monotonic()
    tools.send("Page.navigate", {"url": url}, session)
    loaded = None
    while True:
        message = tools.receive()
        method = message.get("method")
        if method == "Page.domContentEventFired" and loaded is None:
            loaded = (time.monotonic() - start) * 1000
            print(f"dom-content-loaded-ms {loaded:.0f}")
            if not wait_message:
                return
        if method == "Runtime.consoleAPICalled":
            args = message["params"].get("args", [])
            text = " ".join(str(a.get("value", "")) for a in args)
            if text.startswith("result "):
                print(text)
                return


if __name__ == "__main__":
    main()
