#!/usr/bin/env python3
# SPDX-License-Identifier: BSD-2-Clause-Patent
"""A fault-injecting BMC link: sits between QEMU's ipmi-bmc-extern socket and
ipmi_sim's VM-codec port, passes every frame through, and on scripted Read
FRU Data and Write FRU Data requests injects faults on the wire.

VM codec: a message is seq, netfn<<2|lun, cmd, [completion code], data...,
checksum, then 0xA0; control frames end with 0xA1; 0xA0, 0xA1 and 0xAA inside
a frame are sent as 0xAA, byte|0x10; the checksum makes the bytes from seq on
sum to 0; a response echoes the request's seq. QEMU has one request out at a
time.

Rules (a JSON list) match a FRU command on a device and an offset range:
  {"cmd": "read"|"write", "dev": 0, "lo": 0x200, "hi": 0x240, "times": 3,
   "fault": ..., ...}
and fire on the first `times` requests at each offset of [lo, hi) (hi
defaults to lo + 1, times to 1). Faults:
  cc       answer completion code "cc" (0x81 busy, 0x80 write-protected, ...)
           without passing the request on
  zero     answer completion code 0x00 with a count of 0 and no data, without
           passing the request on
  short    pass on a write of only the first "keep" bytes; cut a read's reply
           to its first "keep" bytes
  count    set the reply's count byte to "count"; for a read, make the reply
           carry "carry" data bytes (cut, or padded with 0xEE)
  drop     pass the request on and drop the reply
  restart  pass the request on, hold back the reply, close both connections
           and print "restart ID" on stdout: the harness restarts the BMC;
           QEMU connects again and the link connects afresh to the BMC

Every request, the BMC's reply and what QEMU was sent are logged as JSON
lines with a monotonic time stamp, for the harness to count sends, measure
gaps and replay what the BMC accepted.

Usage: FaultLink.py --bmc-port PORT --rules FILE --log FILE
Prints "listening PORT" once bound on 127.0.0.1; exits when stdin closes.
"""

import argparse
import json
import selectors
import socket
import sys
import time

MSG_END = 0xA0
CMD_END = 0xA1
ESCAPE = 0xAA
NETFN_STORAGE = 0x0A
CMD_READ_FRU = 0x11
CMD_WRITE_FRU = 0x12
FRU_COMMANDS = {CMD_READ_FRU: "read", CMD_WRITE_FRU: "write"}
PAD_BYTE = 0xEE
CONNECT_TIMEOUT = 30


def escape(body):
    out = bytearray()
    for b in body:
        if b in (MSG_END, CMD_END, ESCAPE):
            out += bytes([ESCAPE, b | 0x10])
        else:
            out.append(b)
    return bytes(out)


def unescape(raw):
    """The bytes of a frame without escapes, or None for a dangling escape."""
    out, pending = bytearray(), False
    for b in raw:
        if pending:
            out.append(b & ~0x10 & 0xFF)
            pending = False
        elif b == ESCAPE:
            pending = True
        else:
            out.append(b)
    return None if pending else bytes(out)


def encode_message(msg):
    """A message frame: the bytes, their checksum, escaped, then 0xA0."""
    return escape(bytes(msg) + bytes([(-sum(msg)) & 0xFF])) + bytes([MSG_END])


def decode_message(raw):
    """The bytes of a message frame (terminator already removed) without the
    checksum, or None when it is malformed."""
    body = unescape(raw)
    if body is None or len(body) < 4 or sum(body) & 0xFF != 0:
        return None
    return body[:-1]


class FrameSplitter:
    """Cuts a byte stream into frames, each kept raw with its terminator."""

    def __init__(self):
        self.buf = bytearray()

    def feed(self, data):
        frames = []
        for b in data:
            self.buf.append(b)
            if b in (MSG_END, CMD_END):
                frames.append((b, bytes(self.buf)))
                self.buf.clear()
        return frames


class Rule:
    def __init__(self, params):
        self.params = params
        self.cmd = params["cmd"]
        self.dev = params.get("dev", 0)
        self.lo = params["lo"]
        self.hi = params.get("hi", self.lo + 1)
        self.times = params.get("times", 1)
        self.fault = params["fault"]
        self.fired = {}

    def take(self, cmd, dev, offset):
        """True (and counted) when the rule fires on this request."""
        if cmd != self.cmd or dev != self.dev or not self.lo <= offset < self.hi:
            return False
        if self.fired.get(offset, 0) >= self.times:
            return False
        self.fired[offset] = self.fired.get(offset, 0) + 1
        return True


def fru_request(msg):
    """(kind, dev, offset, count or data) of a Read/Write FRU Data request,
    or None for any other message."""
    netfn, cmd, data = msg[1] >> 2, msg[2], msg[3:]
    if netfn != NETFN_STORAGE or cmd not in FRU_COMMANDS or len(data) < 3:
        return None
    kind = FRU_COMMANDS[cmd]
    return kind, data[0], data[1] | (data[2] << 8), (data[3] if kind == "read" and len(data) > 3 else data[3:])


def reply_to(req, cc, payload=b""):
    """A response to request message req: seq, netfn|1, cmd, cc, payload."""
    return bytes([req[0], req[1] | 0x04, req[2], cc]) + bytes(payload)


class Link:
    def __init__(self, listener, bmc_port, rules, log):
        self.listener = listener
        self.bmc_port = bmc_port
        self.rules = rules
        self.log_file = log
        self.sel = selectors.DefaultSelector()
        self.qemu = None
        self.bmc = None
        self.pending = {}
        self.next_id = 0
        self.running = True

    def log(self, **event):
        event["t"] = time.monotonic()
        self.log_file.write(json.dumps(event) + "\n")
        self.log_file.flush()

    # --- connections -------------------------------------------------------

    def close_pair(self, why):
        for sock in (self.qemu, self.bmc):
            if sock is not None:
                self.sel.unregister(sock)
                sock.close()
        self.qemu = self.bmc = None
        self.pending.clear()
        self.log(ev="closed", why=why)

    def connect_bmc(self):
        deadline = time.monotonic() + CONNECT_TIMEOUT
        while time.monotonic() < deadline:
            try:
                return socket.create_connection(("127.0.0.1", self.bmc_port), timeout=2)
            except OSError:
                time.sleep(0.1)
        return None

    def accept(self):
        conn, _ = self.listener.accept()
        if self.qemu is not None:
            self.close_pair("qemu connected again")
        bmc = self.connect_bmc()
        if bmc is None:
            conn.close()
            self.log(ev="closed", why="BMC port refused")
            return
        conn.setblocking(True)
        bmc.setblocking(True)
        self.qemu, self.bmc = conn, bmc
        self.qemu_frames, self.bmc_frames = FrameSplitter(), FrameSplitter()
        self.sel.register(conn, selectors.EVENT_READ, "qemu")
        self.sel.register(bmc, selectors.EVENT_READ, "bmc")
        self.log(ev="connected")

    # --- requests, QEMU to BMC ---------------------------------------------

    def on_request(self, raw):
        msg = decode_message(raw[:-1])
        if msg is None:
            self.log(ev="bad-frame", side="qemu", raw=raw.hex())
            self.bmc.sendall(raw)
            return
        self.next_id += 1
        ident = self.next_id
        fru = fru_request(msg)
        rule = None
        if fru is not None:
            kind, dev, offset, arg = fru
            rule = next((r for r in self.rules if r.take(kind, dev, offset)), None)
        event = {"ev": "req", "id": ident, "seq": msg[0], "netfn": msg[1] >> 2, "cmd": msg[2],
                 "fault": rule.fault if rule else None}
        if fru is not None:
            event.update(kind=kind, dev=dev, off=offset)
            event["n"] = arg if kind == "read" else len(arg)
        self.log(**event)

        if rule is not None and rule.fault in ("cc", "zero"):
            cc = rule.params["cc"] if rule.fault == "cc" else 0
            rsp = reply_to(msg, cc, b"" if rule.fault == "cc" else b"\x00")
            self.send_qemu(ident, rsp, "link")
            return
        if rule is not None and rule.fault == "short" and kind == "write":
            msg = msg[:6 + rule.params["keep"]]
        if fru is not None and kind == "write":
            self.log(ev="fwd", id=ident, dev=dev, off=offset, data=msg[6:].hex())
        self.pending[msg[0]] = (ident, rule, fru)
        self.bmc.sendall(encode_message(msg))

    # --- responses, BMC to QEMU --------------------------------------------

    def on_response(self, raw):
        msg = decode_message(raw[:-1])
        if msg is None or len(msg) < 4:
            self.log(ev="bad-frame", side="bmc", raw=raw.hex())
            self.qemu.sendall(raw)
            return
        ident, rule, fru = self.pending.pop(msg[0], (None, None, None))
        self.log(ev="bmc-rsp", id=ident, seq=msg[0], cmd=msg[2], cc=msg[3],
                 count=msg[4] if len(msg) > 4 else None, size=len(msg) - 3)
        if rule is None:
            self.send_qemu(ident, msg, "bmc")
            return
        kind, fault = fru[0], rule.fault
        if fault == "drop":
            self.log(ev="dropped", id=ident)
            return
        if fault == "restart":
            self.log(ev="held", id=ident)
            self.close_pair("BMC restart")
            print("restart %d" % ident, flush=True)
            return
        if msg[3] == 0 and len(msg) > 4:
            if fault == "short" and kind == "read":
                keep = rule.params["keep"]
                msg = msg[:4] + bytes([keep]) + msg[5:5 + keep]
            elif fault == "count":
                data = msg[5:]
                if kind == "read" and "carry" in rule.params:
                    carry = rule.params["carry"]
                    data = (data + bytes([PAD_BYTE]) * carry)[:carry]
                msg = msg[:4] + bytes([rule.params["count"]]) + data
        self.send_qemu(ident, msg, "link" if fault in ("short", "count") else "bmc")

    def send_qemu(self, ident, msg, source):
        self.log(ev="rsp", id=ident, seq=msg[0], cmd=msg[2], cc=msg[3],
                 count=msg[4] if len(msg) > 4 else None, size=len(msg) - 3, source=source)
        self.qemu.sendall(encode_message(msg))

    # --- loop --------------------------------------------------------------

    def pump(self, side):
        sock = self.qemu if side == "qemu" else self.bmc
        try:
            data = sock.recv(4096)
        except OSError:
            data = b""
        if not data:
            self.close_pair(side + " closed")
            return
        splitter = self.qemu_frames if side == "qemu" else self.bmc_frames
        for end, raw in splitter.feed(data):
            if end == CMD_END:
                self.log(ev="control", side=side, raw=raw.hex())
                (self.bmc if side == "qemu" else self.qemu).sendall(raw)
            elif side == "qemu":
                self.on_request(raw)
            else:
                self.on_response(raw)
            if self.qemu is None:
                return

    def run(self):
        self.sel.register(self.listener, selectors.EVENT_READ, "listen")
        self.sel.register(sys.stdin, selectors.EVENT_READ, "stdin")
        while self.running:
            for key, _ in self.sel.select():
                if key.data == "listen":
                    self.accept()
                elif key.data == "stdin":
                    if not sys.stdin.buffer.read1(4096):
                        self.running = False
                elif key.fileobj is (self.qemu if key.data == "qemu" else self.bmc):
                    self.pump(key.data)
        if self.qemu is not None:
            self.close_pair("link stopped")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bmc-port", type=int, required=True)
    parser.add_argument("--rules", required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    with open(args.rules) as f:
        rules = [Rule(params) for params in json.load(f)]
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    with open(args.log, "w") as log:
        print("listening %d" % listener.getsockname()[1], flush=True)
        Link(listener, args.bmc_port, rules, log).run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
