"""Rows a second that tds-standin serves: logs in over bare TDS, asks for a generated table
and drains the reply without decoding rows, so the client costs next to nothing.

Usage: standin_bench.py PORT TABLE ROWS [PACKET_SIZE]
"""
import socket
import struct
import sys
import time


def packet(kind, payload):
    return struct.pack(">BBHHBB", kind, 1, len(payload) + 8, 0, 1, 0) + payload


def login7(user, password, database, packet_size):
    def ucs2(s):
        return s.encode("utf-16-le")
    pw = bytes(((((b << 4) | (b >> 4)) & 0xFF) ^ 0xA5) for b in ucs2(password))
    fields = [ucs2("bench"), ucs2(user), pw, ucs2("bench"), ucs2("srv"), None, ucs2("py"), b"",
              ucs2(database)]
    fixed = struct.pack("<II", 0x74000004, packet_size) + bytes(12) + bytes(4) + bytes(8)
    offsets, data, offset = b"", b"", 94
    for f in fields:
        if f is None:
            offsets += bytes(4)
            continue
        offsets += struct.pack("<HH", offset, len(f) // 2)
        data += f
        offset += len(f)
    offsets += bytes(6) + struct.pack("<HHHHHHI", offset, 0, offset, 0, offset, 0, 0)
    body = fixed + offsets
    return struct.pack("<I", 4 + len(body) + len(data)) + body + data


def read_message(sock, buffer):
    """Reads packets until one ends the message; returns the bytes it took."""
    total = 0
    view = memoryview(buffer)
    pending = b""
    while True:
        while len(pending) < 8:
            pending += sock.recv(65536)
        length = struct.unpack(">H", pending[2:4])[0]
        last = pending[1] & 1
        while len(pending) < length:
            n = sock.recv_into(view, len(buffer))
            if n == 0:
                raise RuntimeError("server closed the connection")
            pending += view[:n]
        total += length
        pending = pending[length:]
        if last:
            return total


def main():
    port, table, rows = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
    size = int(sys.argv[4]) if len(sys.argv) > 4 else 4096
    sock = socket.create_connection(("127.0.0.1", port))
    buffer = bytearray(1 << 20)
    sock.sendall(packet(18, bytes([0, 0, 11, 0, 6, 1, 0, 17, 0, 1, 0xFF]) + bytes(7)))
    read_message(sock, buffer)
    sock.sendall(packet(16, login7("sa", "Bench#2026", "Bench", size)))
    read_message(sock, buffer)
    headers = struct.pack("<IIHQI", 22, 18, 2, 0, 1)
    batch = headers + ("select * from " + table).encode("utf-16-le")
    start = time.perf_counter()
    sock.sendall(packet(1, batch))
    received = read_message(sock, buffer)
    seconds = time.perf_counter() - start
    print("%d rows, %.1f MB in %.3f s: %.0f rows/s (packet size %d)"
          % (rows, received / 1e6, seconds, rows / seconds, size))


main()
