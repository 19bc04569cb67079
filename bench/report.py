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
}


def main(path):
    with open(path) as f:
        data = json.load(f)
    runs = defaultdict(list)
    unit = {}
    for b in data["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        name = b["run_name"]
        runs[name].append(b["real_time"] if "startup" in name else b["cpu_time"])
        unit[name] = b["time_unit"]
    stats = {n: (min(v), statistics.median(v)) for n, v in runs.items()}

    print("| benchmark | min | median | vs SDL2 twin (min) | vs memory bound (min) |")
    print("|---|---|---|---|---|")
    for name, (lo, med) in stats.items():
        base, suffix = name.split("/", 1) if "/" in name else (name, "")
        op = base.split("_")[0]
        twin, bound = TWINS.get(op, (None, None))
        suffix = "/" + suffix if suffix else ""

        def ratio(other):
            if not other or other + suffix not in stats or other == base:
                return ""
            return f"{lo / stats[other + suffix][0]:.2f}x"

        print(f"| {name} | {lo:.3g} {unit[name]} | {med:.3g} {unit[name]} | "
              f"{ratio(twin)} | {ratio(bound)} |")


if __name__ == "__main__":
    main(sys.argv[1])
