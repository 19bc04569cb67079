#!/usr/bin/env python3
"""Writes the demo's manual page (section 6) from what its --help prints, so that the page says
what the program says of its keys and settings (the settings table's rows):
  man_page.py PROGRAM VERSION DATE > kelvra-demo.6
PROGRAM is the built demo, run with --help; DATE the release's, as YYYY-MM-DD."""
import re
import subprocess
import sys


def roff(text):
    """Text as roff reads it literally: backslashes and a leading dot or quote escaped"""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in (".", "'") else text


def entries(lines):
    """The two-column rows of a section: (term, description), continuations joined"""
    rows = []
    for line in lines:
        if not line.strip():
            continue
        match = re.match(r"^  (\S.*?)(?: {2,}(\S.*))?$", line)
        if match and not line.startswith("   "):
            rows.append([match.group(1), match.group(2) or ""])
        elif rows:
            rows[-1][1] = (rows[-1][1] + " " + line.strip()).strip()
    return rows


def main(program, version, date):
    help_text = subprocess.run([program, "--help"], capture_output=True, text=True,
                               check=True).stdout
    sections, name = {}, "intro"
    for line in help_text.splitlines():
        if re.match(r"^[A-Z][A-Za-z ()]*:$", line):
            name = line[:-1]
            sections[name] = []
        else:
            sections.setdefault(name, []).append(line)
    intro = [line for line in sections["intro"] if line and not line.startswith("Usage:")]
    out = [
        f'.TH KELVRA-DEMO 6 "{date}" "kelvra demo {version}" "Games"',
        ".SH NAME",
        "kelvra\\-demo \\- a picture shaking under a spinning cube while music plays",
        ".SH SYNOPSIS",
        ".B kelvra\\-demo",
        "[\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR]",
        ".SH DESCRIPTION",
        roff(" ".join(intro)),
        ".SH OPTIONS",
        ".TP", "\\fB\\-\\-help\\fR", "Prints the keys and the settings, and exits.",
        ".TP", "\\fB\\-\\-version\\fR", f"Prints \\(lqkelvra demo {version}\\(rq and exits.",
        ".PP",
        "Any other argument is refused with status 2.",
        ".SH KEYS",
    ]
    for term, description in entries(sections["Keys"]):
        out += [".TP", "\\fB" + roff(term) + "\\fR", roff(description)]
    out.append(".SH ENVIRONMENT")
    for term, description in entries(sections["Settings (environment variables)"]):
        out += [".TP", "\\fB" + roff(term) + "\\fR", roff(description)]
    out += [
        ".PP",
        "Recording (\\fBTRELK_RECORD\\fR) needs the recorder module, which the libtrelk\\-dev "
        "package installs.",
        ".SH FILES",
        ".TP", "\\fIflagga.tga\\fR, \\fIbla.xm\\fR",
        "The picture and the music module, read from the working folder, else from the "
        "program's folder, else from \\fI../share/games/kelvra\\-demo\\fR beside it "
        "(\\fI/usr/share/games/kelvra\\-demo\\fR for the installed program).",
        ".SH EXIT STATUS",
        "0 when a key ended the demo (or after \\fB\\-\\-help\\fR or \\fB\\-\\-version\\fR), 1 "
        "after an error it reported, 2 for an unknown argument.",
    ]
    print("\n".join(out))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
