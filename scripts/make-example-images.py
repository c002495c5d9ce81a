#!/usr/bin/env python3
"""Writes the small PNG images of the example plant (examples/pictures/images)."""
import os
import struct
import zlib


def png(path, width, height, pixel):
    rows = b"".join(
        b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xffffffff)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                  chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def pump(colour):
    def pixel(x, y):
        inside = (x - 11.5) ** 2 + (y - 11.5) ** 2 <= 100
        return colour if inside else (192, 192, 192)
    return pixel


def valve(colour):
    def pixel(x, y):
        inside = abs(x - 11.5) <= abs(y - 11.5) + 1
        return colour if inside else (192, 192, 192)
    return pixel


here = os.path.join(os.path.dirname(__file__), "..", "examples", "pictures", "images")
os.makedirs(here, exist_ok=True)
png(os.path.join(here, "pump_stopped.png"), 24, 24, pump((128, 128, 128)))
png(os.path.join(here, "pump_running.png"), 24, 24, pump((0, 200, 0)))
png(os.path.join(here, "pump_fault.png"), 24, 24, pump((220, 0, 0)))
png(os.path.join(here, "valve_closed.png"), 24, 24, valve((220, 0, 0)))
png(os.path.join(here, "valve_open.png"), 24, 24, valve((0, 200, 0)))
