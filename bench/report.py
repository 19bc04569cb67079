#!/usr/bin/env python3
"""Reads Google Benchmark JSON (with repetitions) and prints, for every benchmark, the min and
median time and its ratio to its SDL2 twin and to the memory bound of the same work."""
import json
import statistics
import sys
from collections import defaultdict

# Which benchmark is the SDL2 twin and which the memory bound, for each operation.
TWINS = {
    "clear": ("clear_sdl", "clear_memset"),
    "load": ("load_sdl", "load_memcpy"),
    "scale": ("scale_sdl", "scale_memcpy"),
    "present": ("present_sdl", "present_memcpy"),
    "pixel": ("pixel_sdl", "pixel_store"),
    "cube": ("cube_sdl", "cube_store"),
    "frame": ("frame_sdl", "frame_memory"),
    "startup": ("startup_sdl", None),
    "startup_silent": ("startup_silent_sdl", None),
    "exit": ("exit_sdl", None),
}

# The figures that have a baseline of their own: the whole frame and the demo's own frame
# against the memory bound, the cube against the cube drawn in one lock, start-up against SDL2
FIGURES = [
    ("frame_ours/320/200", "frame_memory/320/200"),
    ("demo_frame", "frame_memory/320/200"),
    ("cube_ours", "cube_one_lock"),
    ("startup_ours", "startup_sdl"),
    ("startup_silent_ours", "startup_silent_sdl"),
    ("exit_ours", "exit_sdl"),
]
UNITS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def main(path):
    with open(path) as f:
        data = json.load(f)
    runs = defaultdict(list)
    unit = {}
    for b in data["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        name = b["run_name"]
        wall = "startup" in name or "exit" in name or "manual_time" in name
        runs[name].append(b["real_time"] if wall else b["cpu_time"])
        unit[name] = b["time_unit"]
    stats = {n: (min(v), statistics.median(v)) for n, v in runs.items()}

    print("| benchmark | min | median | vs SDL2 twin (min) | vs memory bound (min) |")
    print("|---|---|---|---|---|")
    for name, (lo, med) in stats.items():
        base, suffix = name.split("/", 1) if "/" in name else (name, "")
        op = max((k for k in TWINS if base == k or base.startswith(k + "_")), key=len,
                 default=base.split("_")[0])
        twin, bound = TWINS.get(op, (None, None))
        suffix = "/" + suffix if suffix else ""

        def ratio(other):
            if not other or other + suffix not in stats or other == base:
                return ""
            return f"{lo / stats[other + suffix][0]:.2f}x"

        print(f"| {name} | {lo:.3g} {unit[name]} | {med:.3g} {unit[name]} | "
              f"{ratio(twin)} | {ratio(bound)} |")

    # Each figure against its own baseline from the same run (min over min, median over median)
    print()
    print("| figure | baseline | min ratio | median ratio |")
    print("|---|---|---|---|")
    for name, baseline in FIGURES:
        name = next((n for n in stats if n.split("/")[0] == name.split("/")[0] and
                     n.startswith(name)), None)
        baseline = next((n for n in stats if n.startswith(baseline)), None)
        if not name or not baseline:
            continue
        scale = UNITS[unit[name]] / UNITS[unit[baseline]]
        print(f"| {name} | {baseline} | {stats[name][0] * scale / stats[baseline][0]:.2f}x | "
              f"{stats[name][1] * scale / stats[baseline][1]:.2f}x |")


if __name__ == "__main__":
    main(sys.argv[1])
