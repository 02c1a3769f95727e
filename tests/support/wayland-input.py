#!/usr/bin/env python3
"""A mouse and a keyboard for a wlroots compositor: a virtual pointer
(zwlr_virtual_pointer_manager_v1) and a virtual keyboard with a US layout
(zwp_virtual_keyboard_manager_v1), made once at start so that the seat and
its clients (XWayland) have taken them in long before the first click. Then
runs the commands read from standard input, one a line, and answers each with
"ok" once the compositor has taken it:

    click X Y     a left click at that point of the first output
    key NAME      a key pressed and released (Escape, Up, Down, Return); it
                  goes where the compositor has put the keyboard focus

Speaks the Wayland wire protocol directly, so headless test desktops without
input devices can be used.

    wayland-input.py WIDTH HEIGHT     (the output's size)
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


class Devices:
    def __init__(self, conn, width, height):
        self.conn, self.width, self.height = conn, width, height
        bound = bind_globals(conn, ["wl_seat", "zwlr_virtual_pointer_manager_v1", "zwp_virtual_keyboard_manager_v1"])
        self.pointer = conn.new_id()
        # create_virtual_pointer(seat: default)
        conn.send(bound["zwlr_virtual_pointer_manager_v1"], 0, struct.pack("<II", 0, self.pointer))
        self.keyboard = conn.new_id()
        # create_virtual_keyboard(seat, id)
        conn.send(bound["zwp_virtual_keyboard_manager_v1"], 0, struct.pack("<II", bound["wl_seat"], self.keyboard))
        with tempfile.TemporaryFile() as keymap:
            keymap.write(KEYMAP)
            keymap.flush()
            conn.send(self.keyboard, 0, struct.pack("<II", 1, len(KEYMAP)), fds=[keymap.fileno()])  # keymap(xkb_v1)
            roundtrip(conn)

    def click(self, x, y):
        conn = self.conn
        conn.send(self.pointer, 1, struct.pack("<IIIII", now(), x, y, self.width, self.height))  # motion_absolute
        conn.send(self.pointer, 4, struct.pack("<I", now()))  # frame
        roundtrip(conn)
        time.sleep(0.05)
        for state in (1, 0):
            conn.send(self.pointer, 2, struct.pack("<III", now(), BTN_LEFT, state))  # button
            conn.send(self.pointer, 4, struct.pack("<I", now()))
            roundtrip(conn)

    def key(self, code):
        for state in (1, 0):
            self.conn.send(self.keyboard, 1, struct.pack("<III", now(), code, state))  # key
            roundtrip(self.conn)
            time.sleep(0.05)


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    devices = Devices(Connection(), int(sys.argv[1]), int(sys.argv[2]))
    print("ready", flush=True)
    for line in sys.stdin:
        words = line.split()
        if len(words) == 3 and words[0] == "click":
            devices.click(int(words[1]), int(words[2]))
        elif len(words) == 2 and words[0] == "key" and words[1] in KEYS:
            devices.key(KEYS[words[1]])
        else:
            raise SystemExit("wayland-input: unknown command " + line.strip())
        print("ok", flush=True)


main()
