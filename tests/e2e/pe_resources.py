#!/usr/bin/env python3
"""Checks the resources a shipped Windows program carries.

  pe_resources.py PROGRAM.exe [--page RESOURCES.json] [--dialog ID]...

Every shipped program carries the compatibility manifest (resource 1 of type
RT_MANIFEST) naming each Windows of SUPPORTED_OS, and a version block (resource
1 of type RT_VERSION) whose file version is the manifest's assembly version
and whose original file name is the program's. Each row of RESOURCES.json
gives an "id" and a "type" (a number or a name) of a page file, and each ID a
dialog template (RT_DIALOG), that the program must carry with data that is not
empty. Reads the PE file itself, so it works for both architectures.
"""
import argparse
import json
import os
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_DIALOG = 5
RT_VERSION = 16
RT_MANIFEST = 24
SUPPORTED_OS = {"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11"}
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
ASSEMBLY = "{urn:schemas-microsoft-com:asm.v1}"


def resources(image):
    """{(type, id): data} of the image's resource directory (first language)."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rva = struct.unpack_from("<I", image, directories + 2 * 8)[0]
    table = optional + optional_size
    spans = [struct.unpack_from("<8sIIII", image, table + 40 * i)[1:] for i in range(sections)]

    def offset(address):
        for size, start, raw_size, raw in spans:
            if start <= address < start + max(size, raw_size):
                return raw + address - start
        raise ValueError("address %#x lies in no section" % address)

    try:
        base = offset(rva)
    except ValueError:
        return {}

    def entries(at):
        names, ids = struct.unpack_from("<12xHH", image, base + at)
        for n in range(names + ids):
            key, value = struct.unpack_from("<II", image, base + at + 16 + 8 * n)
            if key & 0x80000000:
                name = base + (key & 0x7FFFFFFF)
                length = struct.unpack_from("<H", image, name)[0]
                key = image[name + 2:name + 2 + 2 * length].decode("utf-16-le")
            yield key, value

    found = {}
    for type_key, type_value in entries(0):
        for id_key, id_value in entries(type_value & 0x7FFFFFFF):
            for _, leaf in entries(id_value & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", image, base + leaf)
                start = offset(data_rva)
                found[(type_key, id_key)] = image[start:start + size]
                break
    return found


def version_block(data):
    """(file version text, {name: value} of the string tables) of a VS_VERSIONINFO."""
    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", data, at)
        if length < 6:
            raise ValueError("an entry of %d bytes" % length)
        end = data.index(b"\0\0", at + 6)
        while (end - at) % 2:
            end = data.index(b"\0\0", end + 1)
        key = data[at + 6:end].decode("utf-16-le")
        value = (end + 2 + 3) & ~3
        children = value + (value_length * 2 if kind == 1 else value_length)
        return key, kind, data[value:value + (value_length * 2 if kind == 1 else value_length)], \
            (children + 3) & ~3, at + length

    key, _, fixed, child, end = node(0)
    if key != "VS_VERSION_INFO" or len(fixed) < 52 or struct.unpack_from("<I", fixed)[0] != 0xFEEF04BD:
        raise ValueError("no VS_FIXEDFILEINFO")
    ms, ls = struct.unpack_from("<8xII", fixed)
    version = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    strings = {}

    def walk(at, end, depth):
        while at < end:
            key, kind, value, child, after = node(at)
            if depth == 2:
                strings[key] = value.decode("utf-16-le", "replace").split("\0")[0]
            elif depth < 2 and (depth or key == "StringFileInfo"):
                walk(child, after, depth + 1)
            at = (after + 3) & ~3

    walk(child, end, 0)
    return version, strings


def check_manifest(found):
    data = found.get((RT_MANIFEST, 1))
    if not data:
        return ["no manifest (resource 1 of type RT_MANIFEST)"], None
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError as error:
        return ["the manifest is not XML: %s" % error], None
    ids = {element.get("Id", "").lower() for element in root.iter(COMPATIBILITY + "supportedOS")}
    problems = ["the manifest does not name %s (supportedOS %s)" % (name, guid)
                for guid, name in SUPPORTED_OS.items() if guid not in ids]
    identity = root.find(ASSEMBLY + "assemblyIdentity")
    return problems, identity.get("version") if identity is not None else None


def check_version(found, program, manifest_version):
    data = found.get((RT_VERSION, 1))
    if not data:
        return ["no version block (resource 1 of type RT_VERSION)"]
    try:
        version, strings = version_block(data)
    except (ValueError, struct.error) as error:
        return ["the version block cannot be read: %s" % error]
    problems = []
    if manifest_version and version != manifest_version:
        problems.append("the version block says %s, the manifest %s" % (version, manifest_version))
    for name in ("FileDescription", "FileVersion", "ProductName", "ProductVersion"):
        if not strings.get(name):
            problems.append("the version block has no %s" % name)
    if strings.get("OriginalFilename", "").lower() != program.lower():
        problems.append("the version block names the program %r" % strings.get("OriginalFilename"))
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--page")
    parser.add_argument("--dialog", type=int, action="append", default=[])
    arguments = parser.parse_args()

    found = resources(open(arguments.program, "rb").read())
    problems, manifest_version = check_manifest(found)
    problems += check_version(found, os.path.basename(arguments.program), manifest_version)
    for dialog in arguments.dialog:
        if not found.get((RT_DIALOG, dialog)):
            problems.append("dialog template %d is missing or empty" % dialog)
    rows = json.load(open(arguments.page)) if arguments.page else []
    for row in rows:
        kind = row["type"] if isinstance(row["type"], int) else str(row["type"]).upper()
        if not found.get((kind, row["id"])):
            problems.append("resource %s %s (%s) is missing or empty" % (row["type"], row["id"], row["file"]))
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print("ok: manifest, version block%s%s" % ("".join(", dialog %d" % d for d in arguments.dialog),
                                              ", all %d page resources" % len(rows) if rows else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
