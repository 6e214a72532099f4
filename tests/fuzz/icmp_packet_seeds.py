#!/usr/bin/python3
"""Writes the seed corpus of the ICMP fuzz target (tests/fuzz/icmp_packet/): an
echo reply with and without its IP header and two ICMP errors that quote the
request, their checksums worked out here rather than by the code under test.
Each seed starts with the target's five bytes: identifier, sequence, and the
socket kind (bit 0: raw) with the TTL of a datagram socket above it."""
import pathlib
import struct

IDENTIFIER, SEQUENCE = 0x4A21, 7
ROUTER, CLIENT, TARGET = b"\x0a\x00\x01\x01", b"\x0a\x00\x01\x02", b"\x08\x08\x08\x08"


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack(f"!{len(data) // 2}H", data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def icmp(kind, code, rest):
    message = bytes([kind, code, 0, 0]) + rest
    return message[:2] + struct.pack("!H", checksum(message)) + message[4:]


def ip(payload, source, destination, ttl=57):
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(payload), 0x1234, 0, ttl, 1, 0, source, destination)
    return header[:10] + struct.pack("!H", checksum(header)) + header[12:] + payload


def head(raw, ttl=0):
    return struct.pack("!HHB", IDENTIFIER, SEQUENCE, ttl << 1 | raw)


def main():
    echo = struct.pack("!HH", IDENTIFIER, SEQUENCE) + b"abcde"
    request = ip(icmp(8, 0, echo), CLIENT, TARGET)
    reply = icmp(0, 0, echo)
    seeds = {
        "raw-reply": head(1) + ip(reply, ROUTER, CLIENT),
        "raw-time-exceeded": head(1) + ip(icmp(11, 0, bytes(4) + request[:28]), ROUTER, CLIENT),
        "raw-unreachable": head(1) + ip(icmp(3, 3, bytes(4) + request), ROUTER, CLIENT),
        "datagram-reply": head(0, 64) + reply,
    }
    folder = pathlib.Path(__file__).resolve().parent / "icmp_packet"
    for name, data in seeds.items():
        (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
