#!/usr/bin/env python3
"""Input on a wlroots compositor, as a mouse or a keyboard gives it. A click:
a virtual pointer (zwlr_virtual_pointer_manager_v1) moved to a point of the
first output, then a left button press and release. A key: a virtual
keyboard (zwp_virtual_keyboard_manager_v1) with a US layout presses and
releases it; it goes where the compositor has put the keyboard focus. Speaks
the Wayland wire protocol directly, so headless test desktops without input
devices can be used.

    wayland-input.py click X Y WIDTH HEIGHT   (WIDTH x HEIGHT: the output's size)
    wayland-input.py key NAME                 (Escape, Up, Down, Return)
"""
import os
import socket
import struct
import sys
import tempfile
import time

BTN_LEFT = 0x110
KEYS = {"Escape": 1, "Return": 28, "Up": 103, "Down": 108}  # evdev codes
KEYMAP = b"""xkb_keymap {
  xkb_keycodes { include "evdev+aliases(qwerty)" };
  xkb_types { include "complete" };
  xkb_compat { include "complete" };
  xkb_symbols { include "pc+us" };
};
\0"""


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

    def send(self, obj, opcode, payload=b"", fds=()):
        message = struct.pack("<II", obj, (8 + len(payload)) << 16 | opcode) + payload
        if fds:
            socket.send_fds(self.sock, [message], list(fds))
        else:
            self.sock.sendall(message)

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
                raise SystemExit("wayland-input: the compositor closed the connection")
            self.buffer += chunk


def string(text):
    data = text.encode() + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


def roundtrip(conn):
    callback = conn.new_id()
    conn.send(1, 0, struct.pack("<I", callback))  # wl_display.sync
    for obj, opcode, payload in conn.events():
        if obj == 1 and opcode == 0:  # wl_display.error
            raise SystemExit("wayland-input: protocol error %r" % payload)
        if obj == callback:
            return


def bind_globals(conn, wanted):
    """Binds the named globals (version 1 each); returns their new object ids by name."""
    registry = conn.new_id()
    conn.send(1, 1, struct.pack("<I", registry))  # wl_display.get_registry
    callback = conn.new_id()
    conn.send(1, 0, struct.pack("<I", callback))
    names = {}
    for obj, opcode, payload in conn.events():
        if obj == registry and opcode == 0:  # wl_registry.global
            name, length = struct.unpack_from("<II", payload)
            interface = payload[8:8 + length - 1].decode()
            if interface in wanted and interface not in names:
                names[interface] = name
        elif obj == callback:
            break
    bound = {}
    for interface in wanted:
        if interface not in names:
            raise SystemExit("wayland-input: the compositor offers no " + interface)
        bound[interface] = conn.new_id()
        conn.send(registry, 0, struct.pack("<I", names[interface]) + string(interface)
                  + struct.pack("<II", 1, bound[interface]))
    return bound


def now():
    return int(time.monotonic() * 1000) & 0xFFFFFFFF


def click(conn, x, y, width, height):
    manager = bind_globals(conn, ["zwlr_virtual_pointer_manager_v1"])["zwlr_virtual_pointer_manager_v1"]
    pointer = conn.new_id()
    conn.send(manager, 0, struct.pack("<II", 0, pointer))  # create_virtual_pointer(seat: default)
    roundtrip(conn)
    # The new pointer device reaches the seat's clients (XWayland) first.
    time.sleep(0.2)
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


def key(conn, name):
    bound = bind_globals(conn, ["wl_seat", "zwp_virtual_keyboard_manager_v1"])
    keyboard = conn.new_id()
    # create_virtual_keyboard(seat, id)
    conn.send(bound["zwp_virtual_keyboard_manager_v1"], 0, struct.pack("<II", bound["wl_seat"], keyboard))
    with tempfile.TemporaryFile() as keymap:
        keymap.write(KEYMAP)
        keymap.flush()
        conn.send(keyboard, 0, struct.pack("<II", 1, len(KEYMAP)), fds=[keymap.fileno()])  # keymap(xkb_v1, fd, size)
        roundtrip(conn)
    time.sleep(0.2)
    for state in (1, 0):
        conn.send(keyboard, 1, struct.pack("<III", now(), KEYS[name], state))  # key
        roundtrip(conn)
        time.sleep(0.05)
    conn.send(keyboard, 3)  # destroy
    roundtrip(conn)


def main():
    conn = Connection()
    if sys.argv[1:2] == ["click"]:
        click(conn, *(int(v) for v in sys.argv[2:6]))
    elif sys.argv[1:2] == ["key"] and sys.argv[2:3] and sys.argv[2] in KEYS:
        key(conn, sys.argv[2])
    else:
        raise SystemExit(__doc__)


main()
