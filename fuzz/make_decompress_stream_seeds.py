#!/usr/bin/env python3
"""Writes the seed corpus of fuzz/decompress_stream_fuzz.cpp with Python's
zlib: raw deflate data followed by the target's six option bytes (window
choice, declared-size offset + 32768 little-endian, seed, operation count)."""
import os
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "decompress_stream")


def raw(data, level=9):
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def main():
    text = b"".join(b"line %d of the payload, tarn and wick\n" % i for i in range(3000))
    noise = bytes((i * 2654435761 >> 13) & 0xFF for i in range(40000))
    seeds = {
        "text_window4096": raw(text) + bytes([3, 0x00, 0x80, 0x11, 0x22, 20]),
        "text_window1_short": raw(text[:5000]) + bytes([0, 0x00, 0x80, 0x01, 0x02, 31]),
        "noise_stored_window100": raw(noise, 0) + bytes([2, 0x00, 0x80, 0x33, 0x44, 25]),
        "text_declared_larger": raw(text) + bytes([4, 0x10, 0x81, 0x55, 0x66, 30]),
        "text_truncated": raw(text)[:3000] + bytes([6, 0x00, 0x80, 0x77, 0x00, 28]),
        "empty_final_block": bytes([0x03, 0x00]) + bytes([3, 0x05, 0x80, 0x01, 0x00, 10]),
        # Found by the fuzzer: a match reaching before the start of the data,
        # which inflate rejects but inflateBack copies from its unwritten
        # first window.
        "distance_too_far_in_first_window": bytes.fromhex("ca25000374bcbd00") + bytes([0x64, 0x14, 0x80, 0x85, 0x01, 0x03]),
    }
    os.makedirs(OUT, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
