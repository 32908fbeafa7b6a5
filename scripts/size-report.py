#!/usr/bin/env python3
"""Sizes of the shipped programs and, from their linker maps, what fills them.

    scripts/size-report.py [BUILD_DIR] [--top N]

For Korvane.exe and Tallix.exe of BUILD_DIR (default: build) it prints the
file size as shipped (stripped) and of the debug file beside it, the sizes of
the image's sections, and the N (default 12) largest contributors:
- by library and by object file, from the map the linker wrote beside each
  program (PROGRAM.map); sections that the linker dropped and debug sections
  are not counted. With link-time optimisation all of the project's own code
  is one object (*.ltrans.o);
- by scope, from the code symbols of the debug file (PROGRAM.debug), each
  symbol taking the bytes up to the next one.
"""
import argparse
import collections
import os
import re
import subprocess
import sys

PROGRAMS = [
    ("Korvane", "installer/cpp_custominstaller/startup"),
    ("Tallix", "tallix"),
]

# An input section: " .text$name  0xADDRESS  0xSIZE  file", possibly over two
# lines when the section name is long.
SECTION = re.compile(r"^ (\.\S+|COMMON)\s*(?:(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+(.+))?$")
PLACEMENT = re.compile(r"^\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+(.+)$")


def contributions(map_path):
    """Bytes per input file (an object, or archive(member)) placed in the image."""
    sizes = collections.Counter()
    with open(map_path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            if line.startswith("Linker script and memory map"):
                break
        pending = None
        for line in lines:
            line = line.rstrip("\n")
            match = SECTION.match(line)
            if match:
                pending = match.group(1)
                if match.group(2) is None:
                    continue
                address, size, source = match.group(2, 3, 4)
            elif pending:
                placed = PLACEMENT.match(line)
                if not placed:
                    pending = None
                    continue
                address, size, source = placed.groups()
            else:
                continue
            name, pending = pending, None
            if name.startswith(".debug") or int(address, 16) == 0:
                continue
            sizes[source.strip()] += int(size, 16)
    return sizes


def library_of(source):
    """The archive or object a contribution comes from, by its file name."""
    archive = source.split("(", 1)[0]
    return os.path.basename(archive)


def short(source):
    match = re.match(r"(.*)\((.*)\)$", source)
    if match:
        return "%s(%s)" % (os.path.basename(match.group(1)), match.group(2))
    return os.path.basename(source)


def sections(image):
    """Size of each allocated section of a PE image, by name."""
    out = subprocess.run(["i686-w64-mingw32-objdump", "-h", image], capture_output=True, text=True).stdout
    sizes = {}
    for line in out.splitlines():
        fields = line.split()
        if len(fields) >= 3 and fields[0].isdigit() and not fields[1].startswith(".debug"):
            sizes[fields[1]] = int(fields[2], 16)
    return sizes


def namespace_of(symbol):
    """The first two scopes of a demangled name: "boost::json", "std::num_get"."""
    if symbol.startswith("."):
        return "(code without a symbol)"
    depth, plain = 0, []
    for c in symbol:
        if c in "<(":
            depth += 1
        elif c in ">)":
            depth = max(0, depth - 1)
        elif depth == 0:
            plain.append(c)
    # What stays is "[return type] scope::...::name [const]".
    qualified = [word for word in "".join(plain).split() if "::" in word]
    if not qualified:
        return "(no namespace)"
    scopes = qualified[-1].split("::")
    return "::".join(scopes[: min(2, len(scopes) - 1)])


def code_by_namespace(debug_file):
    """Bytes of code per namespace, from the symbols of the text section."""
    out = subprocess.run(["i686-w64-mingw32-nm", "-n", "-C", "--defined-only", debug_file],
                         capture_output=True, text=True).stdout
    symbols = []
    for line in out.splitlines():
        fields = line.split(" ", 2)
        if len(fields) == 3 and fields[1] in "Tt":
            symbols.append((int(fields[0], 16), fields[2]))
    sizes = collections.Counter()
    for (address, symbol), (following, _) in zip(symbols, symbols[1:]):
        sizes[namespace_of(symbol)] += following - address
    return sizes


def report(build, name, folder, top):
    exe = os.path.join(build, folder, name + ".exe")
    debug_file = os.path.join(build, folder, name + ".debug")
    map_path = os.path.join(build, folder, name + ".map")
    if not os.path.exists(exe):
        print("%s: not built" % name)
        return
    line = "size %s.exe: %d bytes (%.2f MB)" % (name, os.path.getsize(exe), os.path.getsize(exe) / 1e6)
    if os.path.exists(debug_file):
        line += "; debug file %s.debug %d bytes" % (name, os.path.getsize(debug_file))
    print(line)
    print("  sections: " + ", ".join("%s %d" % item for item in sections(exe).items()))
    if not os.path.exists(map_path):
        print("  no linker map (%s)" % map_path)
        return
    sizes = contributions(map_path)
    total = sum(sizes.values())
    by_library = collections.Counter()
    for source, size in sizes.items():
        by_library[library_of(source)] += size
    print("  placed by the linker: %d bytes; largest libraries:" % total)
    for library, size in by_library.most_common(top):
        print("    %9d  %5.1f%%  %s" % (size, 100.0 * size / total, library))
    print("  largest object files:")
    for source, size in sizes.most_common(top):
        print("    %9d  %5.1f%%  %s" % (size, 100.0 * size / total, short(source)))
    if os.path.exists(debug_file):
        code = code_by_namespace(debug_file)
        print("  largest code by scope (first two levels; of %d bytes):" % sum(code.values()))
        for namespace, size in code.most_common(top):
            print("    %9d  %s" % (size, namespace))


def main(argv):
    parser = argparse.ArgumentParser(prog="size-report.py")
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--top", type=int, default=12)
    args = parser.parse_args(argv)
    for name, folder in PROGRAMS:
        report(args.build, name, folder, args.top)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
