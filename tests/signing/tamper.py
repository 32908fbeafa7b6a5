#!/usr/bin/env python3
"""Copies a signed file and flips one byte in its middle, which the signature covers.

    tamper.py IN OUT
"""
import sys


def main(source, target):
    with open(source, "rb") as f:
        data = bytearray(f.read())
    data[len(data) // 2] ^= 0xFF
    with open(target, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.stderr.write("usage: tamper.py IN OUT\n")
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
