#!/usr/bin/env python3
"""Checks that a Windows program carries the resources a resources.json names.

  pe_resources.py PROGRAM.exe RESOURCES.json

Each row of RESOURCES.json gives an "id" and a "type" (a number or a name);
the program's resource directory must hold that type and id with data that is
not empty. Reads the PE file itself, so it works for both architectures.
"""
import json
import struct
import sys


def resources(image):
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rva = struct.unpack_from("<I", image, directories + 2 * 8)[0]
    table = optional + optional_size
    for i in range(sections):
        _, size, address, raw_size, raw = struct.unpack_from("<8sIIII", image, table + 40 * i)
        if address <= rva < address + max(size, raw_size):
            base = raw + rva - address
            break
    else:
        return {}

    def entries(offset):
        names, ids = struct.unpack_from("<12xHH", image, base + offset)
        for n in range(names + ids):
            key, value = struct.unpack_from("<II", image, base + offset + 16 + 8 * n)
            if key & 0x80000000:
                at = base + (key & 0x7FFFFFFF)
                length = struct.unpack_from("<H", image, at)[0]
                key = image[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield key, value

    found = {}
    for type_key, type_value in entries(0):
        for id_key, id_value in entries(type_value & 0x7FFFFFFF):
            size = 0
            for _, leaf in entries(id_value & 0x7FFFFFFF):
                size += struct.unpack_from("<4xI", image, base + leaf)[0]
            found[(type_key, id_key)] = size
    return found


def main():
    image = open(sys.argv[1], "rb").read()
    found = resources(image)
    missing = 0
    for row in json.load(open(sys.argv[2])):
        kind = row["type"] if isinstance(row["type"], int) else str(row["type"]).upper()
        if found.get((kind, row["id"]), 0) == 0:
            print("resource %s %s (%s) is missing or empty" % (row["type"], row["id"], row["file"]))
            missing += 1
    if missing:
        return 1
    print("ok: all %d page resources present" % len(json.load(open(sys.argv[2]))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
