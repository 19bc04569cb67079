#!/usr/bin/env python3
"""Packs a folder into a zip whose bytes depend on the files' contents alone:
  reproducible_zip.py ZIP FOLDER EPOCH
The entries are the folder itself (by its name) and everything under it, in sorted order,
each with the same time (EPOCH, seconds since 1970, read as UTC: the commit's), the same
permissions (folders 755, files 644, programs 755) and no extra fields. The zip is written
beside its path first and renamed into place when complete."""
import os
import sys
import time
import zipfile


def main(zip_path, folder, epoch):
    stamp = time.gmtime(max(int(epoch), 315532800))[:6]  # a zip's times start in 1980
    base = os.path.dirname(os.path.abspath(folder))
    entries = []
    for root, folders, files in os.walk(folder):
        folders.sort()
        entries.append((root, True))
        entries.extend((os.path.join(root, name), False) for name in sorted(files))
    partial = zip_path + ".part"
    with zipfile.ZipFile(partial, "w") as archive:
        for path, is_folder in sorted(entries, key=lambda e: os.path.relpath(e[0], base)):
            name = os.path.relpath(path, base).replace(os.sep, "/")
            if is_folder:
                info = zipfile.ZipInfo(name + "/", stamp)
                info.external_attr = (0o40755 << 16) | 0x10
                archive.writestr(info, b"")
                continue
            info = zipfile.ZipInfo(name, stamp)
            mode = 0o755 if name.lower().endswith((".exe", ".dll")) else 0o644
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            with open(path, "rb") as source:
                archive.writestr(info, source.read(), compresslevel=9)
    os.replace(partial, zip_path)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
