#!/usr/bin/env python3
"""A Modbus master of a few lines, for checking the simulator from outside its own code.

    modbus_probe.py tcp HOST PORT UNIT STEP...
    modbus_probe.py rtu DEVICE BAUD UNIT STEP...

A STEP is "read:ADDRESS" (function 3, one register: prints the value in decimal) or
"write:ADDRESS:VALUE" (function 16, one register: prints "ok"). An exception answer prints
"exception N". The serial line is 8 data bits, no parity, 1 stop bit, raw; frames are RTU.
Exits 1 when an answer does not come or is damaged.
"""
import os
import select
import socket
import struct
import sys
import termios
import time


def crc16(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return struct.pack("<H", crc)


def pdu_for(step):
    parts = step.split(":")
    if parts[0] == "read":
        return struct.pack(">BHH", 3, int(parts[1]), 1)
    if parts[0] == "write":
        return struct.pack(">BHHBH", 16, int(parts[1]), 1, 2, int(parts[2]))
    raise SystemExit("unknown step " + step)


def answer_text(pdu):
    if pdu[0] & 0x80:
        return "exception %d" % pdu[1]
    if pdu[0] == 3:
        return str(struct.unpack(">H", pdu[2:4])[0])
    return "ok"


class Tcp:
    def __init__(self, host, port):
        self.sock = socket.create_connection((host, int(port)), timeout=5)
        self.transaction = 0

    def ask(self, unit, pdu):
        self.transaction += 1
        self.sock.sendall(struct.pack(">HHHB", self.transaction, 0, len(pdu) + 1, unit) + pdu)
        head = self.receive(7)
        transaction, _, length, _ = struct.unpack(">HHHB", head)
        if transaction != self.transaction:
            raise SystemExit("answer to another transaction")
        return self.receive(length - 1)

    def receive(self, count):
        data = b""
        while len(data) < count:
            chunk = self.sock.recv(count - len(data))
            if not chunk:
                raise SystemExit("the server closed the connection")
            data += chunk
        return data


class Rtu:
    def __init__(self, device, baud):
        self.fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
        attrs = termios.tcgetattr(self.fd)
        attrs[0] = attrs[1] = attrs[3] = 0
        attrs[2] = termios.CS8 | termios.CREAD | termios.CLOCAL
        speed = getattr(termios, "B" + baud)
        attrs[4] = attrs[5] = speed
        termios.tcsetattr(self.fd, termios.TCSANOW, attrs)
        termios.tcflush(self.fd, termios.TCIOFLUSH)

    def ask(self, unit, pdu):
        frame = bytes([unit]) + pdu
        os.write(self.fd, frame + crc16(frame))
        data = b""
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.fd], [], [], 0.2)
            if ready:
                data += os.read(self.fd, 256)
            elif data:
                break  # the silence after a frame
        if len(data) < 5 or crc16(data[:-2]) != data[-2:] or data[0] != unit:
            raise SystemExit("no whole answer: " + data.hex())
        return data[1:-2]


def main(argv):
    if len(argv) < 5:
        raise SystemExit(__doc__)
    link = Tcp(argv[1], argv[2]) if argv[0] == "tcp" else Rtu(argv[1], argv[2])
    unit = int(argv[3])
    for step in argv[4:]:
        print(answer_text(link.ask(unit, pdu_for(step))), flush=True)


if __name__ == "__main__":
    main(sys.argv[1:])
