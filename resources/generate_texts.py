#!/usr/bin/env python3
"""Turns resources/texts.tsv into the sources that carry the texts.

  message_keys.h          the kMsg<name> key constants (group << 16 | number)
  string_table.cpp        the texts as UTF-8, compiled into the native build
  string_table.rc         the Windows string table (ids 0 to N-1)
  string_table_cp936.cpp  the texts encoded in code page 936, for the check
                          that the Windows string loading yields those bytes
"""
import sys
from pathlib import Path

HEADER = "// auto-generated from resources/texts.tsv by resources/generate_texts.py; do not edit\n"


def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text) and text[i + 1] in "n\\":
            out.append("\n" if text[i + 1] == "n" else "\\")
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def read_rows(path):
    rows = []
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if not line or line.startswith("#"):
            continue
        fields = line.split("\t")
        if len(fields) != 5:
            sys.exit(f"{path}:{number}: expected 5 tab-separated fields")
        sid, name, group, num, text = fields
        rows.append((int(sid), name, int(group), int(num), unescape(text)))
    for index, row in enumerate(rows):
        if row[0] != index:
            sys.exit(f"{path}: string ids must run 0, 1, 2...; row {index} has {row[0]}")
    keys = [(r[2], r[3]) for r in rows]
    if keys != sorted(keys) or len(set(keys)) != len(keys):
        sys.exit(f"{path}: rows must be sorted by group, then number, without repeats")
    return rows


def c_literal(data: bytes) -> str:
    # Octal escapes for everything outside printable ASCII; split after each
    # escape so that a following digit is not taken into it.
    parts, run = [], []
    for b in data:
        if 0x20 <= b < 0x7F and b not in (0x22, 0x5C, 0x3F):
            run.append(chr(b))
        else:
            run.append("\\%03o" % b)
            parts.append("".join(run))
            run = []
    parts.append("".join(run))
    return " ".join('"%s"' % p for p in parts if p) or '""'


def rc_literal(text: str) -> str:
    out = []
    for c in text:
        if c == "\n":
            out.append("\\n")
        elif c == "\\":
            out.append("\\\\")
        elif c == '"':
            out.append('""')
        else:
            out.append(c)
    return '"%s"' % "".join(out)


def main():
    source, outdir = Path(sys.argv[1]), Path(sys.argv[2])
    outdir.mkdir(parents=True, exist_ok=True)
    rows = read_rows(source)
    count = len(rows)

    keys = [HEADER, "#pragma once\n\n#include <cstdint>\n\n",
            "// 32-bit key of a user-visible text: group in the high 16 bits, number in the low.\n",
            "using MessageKey = std::uint32_t;\n\n",
            f"inline constexpr int kStringCount = {count};\n\n"]
    for sid, name, group, num, _ in rows:
        keys.append(f"inline constexpr MessageKey kMsg{name} = 0x{(group << 16) | num:08X}u;  // id {sid}\n")
    keys.append("\nstruct StringTableRow {\n  std::uint16_t group;\n  std::uint16_t number;\n};\n")
    keys.append("// Group and number of string id i, sorted ascending.\n")
    keys.append(f"extern const StringTableRow kStringTableRows[{count}];\n")
    keys.append(f"// The texts as UTF-8, by string id.\nextern const char* const kStringTableUtf8[{count}];\n")
    keys.append(f"// The texts in code page 936, by string id.\nextern const char* const kStringTableCp936[{count}];\n")

    table = [HEADER, '#include "message_keys.h"\n\n',
             f"const StringTableRow kStringTableRows[{count}] = {{\n"]
    table += [f"    {{{g}, {n}}},\n" for _, _, g, n, _ in rows]
    table.append("};\n\n")
    table.append(f"const char* const kStringTableUtf8[{count}] = {{\n")
    table += [f"    {c_literal(t.encode('utf-8'))},\n" for *_, t in rows]
    table.append("};\n")

    cp936 = [HEADER, '#include "message_keys.h"\n\n', f"const char* const kStringTableCp936[{count}] = {{\n"]
    cp936 += [f"    {c_literal(t.encode('cp936'))},\n" for *_, t in rows]
    cp936.append("};\n")

    rc = [HEADER.replace("//", "//", 1), "#pragma code_page(65001)\n\nSTRINGTABLE\nBEGIN\n"]
    rc += [f"    {sid}, {rc_literal(t)}\n" for sid, _, _, _, t in rows]
    rc.append("END\n")

    for name, parts in (("message_keys.h", keys), ("string_table.cpp", table),
                        ("string_table_cp936.cpp", cp936), ("string_table.rc", rc)):
        path = outdir / name
        text = "".join(parts)
        if not path.exists() or path.read_text(encoding="utf-8") != text:
            path.write_text(text, encoding="utf-8")


if __name__ == "__main__":
    main()
