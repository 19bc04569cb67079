#!/usr/bin/env python3
"""Fails when the settings that docs/library.md's table, README.md's short table or
trelk/display.h's list describe are not exactly the rows of platform/display/settings_table.h,
or describe them with other values.

  check_settings.py SOURCE_ROOT

A row is TRELK_SETTING(id, "NAME", kind, "accepted", "default", "help"); each table has a line
| `NAME=accepted` | ... | for each, and trelk/display.h a line ///   - NAME=accepted: ..."""
import re
import sys


def table_rows(path):
    with open(path) as page:
        return {m.replace("\\|", "|") for m in
                re.findall(r"^\| `(TRELK_\w+=[^`]*)` \|", page.read(), re.M)}


def main(root):
    with open(f"{root}/platform/display/settings_table.h") as table:
        rows = re.findall(r'^TRELK_SETTING\(\w+,\s*"(\w+)",\s*\w+,\s*"([^"]*)"', table.read(), re.M)
    if not rows:
        print("settings_table.h: no rows found", file=sys.stderr)
        return 1
    expected = {f"{name}={accepted}" for name, accepted in rows}
    with open(f"{root}/trelk/display.h") as header:
        in_header = set(re.findall(r"^///\s+- (TRELK_\w+=\S+?):", header.read(), re.M))
    faults = []
    for place, found in (("docs/library.md's settings table", table_rows(f"{root}/docs/library.md")),
                         ("README.md's settings table", table_rows(f"{root}/README.md")),
                         ("trelk/display.h's list of settings", in_header)):
        for missing in sorted(expected - found):
            faults.append(f"{place} lacks {missing}")
        for extra in sorted(found - expected):
            faults.append(f"{place} has {extra}, which is no row of settings_table.h")
    if faults:
        print("\n".join(faults), file=sys.stderr)
        return 1
    print(f"settings: {len(rows)} rows, each in docs/library.md, README.md and trelk/display.h")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
