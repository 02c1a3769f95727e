#!/usr/bin/env python3
"""Clicks at a point of a wlroots compositor's first output, as a mouse would:
a virtual pointer (zwlr_virtual_pointer_manager_v1) moved there absolutely,
then a left button press and release. Speaks the Wayland wire protocol
directly, so headless test desktops without input devices can be clicked.

    wayland-click.py X Y WIDTH HEIGHT     (WIDTH x HEIGHT: the output's size)
"""
import os
import socket
import struct
import sys
import time

BTN_LEFT = 0x110


class Connection:
    def __init__(self):
        runtime = os.environ["XDG_RUNTIME_DIR"]
        display = os.environ.get("WAYLAND_DISPLAY", "wayland-0")
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(display if display.startswith("/") else os.path.join(runtime, display))
        self.next_id = 2  # 1 is wl_display
        self.buffer = b""

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    def send(self, obj, opcode, payload=b""):
        self.sock.sendall(struct.pack("<II", obj, (8 + len(payload)) << 16 | opcode) + payload)

    def events(self):
        while True:
            while len(self.buffer) >= 8:
                obj, word = struct.unpack_from("<II", self.buffer)
                size = word >> 16
                if len(self.buffer) < size:
                    break
                yield obj, word & 0xFFFF, self.buffer[8:size]
                self.buffer = self.buffer[size:]
            chunk = self.sock.recv(65536)
            if not chunk:
                raise SystemExit("wayland-click: the compositor closed the connection")
            self.buffer += chunk


def string(text):
    data = text.encode() + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


def roundtrip(conn):
    callback = conn.new_id()
    conn.send(1, 0, struct.pack("<I", callback))  # wl_display.sync
    for obj, opcode, payload in conn.events():
        if obj == 1 and opcode == 0:  # wl_display.error
            raise SystemExit("wayland-click: protocol error %r" % payload)
        if obj == callback:
            return


def main():
    x, y, width, height = (int(v) for v in sys.argv[1:5])
    conn = Connection()
    registry = conn.new_id()
    conn.send(1, 1, struct.pack("<I", registry))  # wl_display.get_registry
    callback = conn.new_id()
    conn.send(1, 0, struct.pack("<I", callback))
    manager_name = None
    for obj, opcode, payload in conn.events():
        if obj == registry and opcode == 0:  # wl_registry.global
            name, length = struct.unpack_from("<II", payload)
            interface = payload[8:8 + length - 1].decode()
            if interface == "zwlr_virtual_pointer_manager_v1":
                manager_name = name
        elif obj == callback:
            break
    if manager_name is None:
        raise SystemExit("wayland-click: the compositor offers no virtual pointer")
    manager = conn.new_id()
    conn.send(registry, 0, struct.pack("<I", manager_name) + string("zwlr_virtual_pointer_manager_v1")
              + struct.pack("<II", 1, manager))
    pointer = conn.new_id()
    conn.send(manager, 0, struct.pack("<II", 0, pointer))  # create_virtual_pointer(seat: default)
    roundtrip(conn)
    # The new pointer device reaches the seat's clients (XWayland) first.
    time.sleep(0.2)
    now = lambda: int(time.monotonic() * 1000) & 0xFFFFFFFF
    conn.send(pointer, 1, struct.pack("<IIIII", now(), x, y, width, height))  # motion_absolute
    conn.send(pointer, 4, struct.pack("<I", now()))  # frame
    roundtrip(conn)
    time.sleep(0.05)
    for state in (1, 0):
        conn.send(pointer, 2, struct.pack("<III", now(), BTN_LEFT, state))  # button
        conn.send(pointer, 4, struct.pack("<I", now()))
        roundtrip(conn)
    conn.send(pointer, 8)  # destroy
    roundtrip(conn)


main()
