#!/usr/bin/python3
# Every function of trelk/library.h, trelk/display.h, trelk/graphics.h and trelk/input.h that can
# fail has its C twin: a name in trelk/c_entries.h and a definition in
# platform/display/c_entries.cpp. One left out would let an exception reach a C program.
#   c_entries_complete.py SOURCE_DIR
import re
import sys

root = sys.argv[1]


def read(path):
    with open(f"{root}/{path}") as file:
        return file.read()


never_fail = {"trelk_set_error_handler", "trelk_last_error", "trelk_clear_error"}
declared = set()
for header in ("trelk/library.h", "trelk/display.h", "trelk/graphics.h", "trelk/input.h"):
    text = re.sub(r"//[^\n]*", "", read(header))
    declared |= set(re.findall(r"\b(trelk_\w+)\s*\(", text)) - never_fail
renamed = dict(re.findall(r"#define (trelk_\w+) (trelk_c_\w+)", read("trelk/c_entries.h")))
defined = set(re.findall(r"^C_ENTRY\([^,]+, (\w+),", read("platform/display/c_entries.cpp"), re.M))
missing = sorted(name for name in declared
                 if renamed.get(name) != "trelk_c_" + name[6:] or name[6:] not in defined)
extra = sorted(set(renamed) - declared)
if missing or extra or not declared:
    sys.exit(f"without a C twin: {missing}; twins of no entry: {extra}")
print(f"{len(declared)} entries, each with its C twin")
