#!/usr/bin/env python3
"""Drives that cannot be read, and share roots, as Wine answers for them, in
the NT family and as Windows 98, on the 32-bit and the 64-bit build.

What Wine answers, and so what each case expects:
- a letter with no drive behind it: drive type 1 (no root directory);
- a drive whose folder is gone keeps its type only when its media are
  removable (floppy, CD-ROM); Wine then still answers the volume query from
  the drive itself (no label, its default serial number) and only the
  free-space queries fail, so the volume report is printed in full before the
  message.  Other kinds of drive without their folder have type 1;
- a \\\\server\\share that Wine's UNC handling finds (a link under
  dosdevices/unc) is a fixed drive, but Wine's volume query takes no root of
  more than one path component, so the report stops after the drive type;
  a share it cannot find has type 1.
"""

import os
import sys

from report_model import (Answers, Expected, Volume, WINE_DRIVE_TYPE, drive_name_line, fatal,
                          full_report, unreadable_volume, volume_lines, wine_answers)
from winelib import (default_serial, drive_suite, start, volume_label_file,
                     volume_serial_file)

READABLE = ("R", "cdrom", "CD_OK\n", "c0ffee00\n")  # a CD: the classic query in both families
GONE = {"B": "floppy", "K": "cdrom", "L": "hd", "W": "network", "X": "ramdisk"}
UNMAPPED = "Q"
SHARE = ("srv", "share")


def without_folder_type(kind):
    return WINE_DRIVE_TYPE[kind] if kind in ("floppy", "cdrom") else 1


def without_medium(letter, mode, volume_only=False):
    """A removable drive whose folder is gone."""
    kind = GONE[letter]
    name = letter + ":"
    volume = Volume(WINE_DRIVE_TYPE[kind], "", default_serial(letter),
                    "CDFS" if kind == "cdrom" else "NTFS")
    if without_folder_type(kind) == 1:
        return Expected(drive_name_line(name) + "\n", fatal(f"ドライブ({name})を参照できません。"), 1)
    lines = "\n".join(volume_lines(name, volume)) + "\n"
    if volume_only:
        return Expected(lines, "", 0)
    # Both queries fail; which one is asked depends on the family.
    return full_report(name, volume, Answers(mode == "NT", None, None, None))


def readable_report(folder, mode):
    letter, kind, label, serial = READABLE
    volume = Volume(WINE_DRIVE_TYPE[kind], volume_label_file(label), volume_serial_file(serial),
                    "CDFS")
    # A CD takes the classic query: both builds print the same.
    return full_report(letter + ":", volume, wine_answers(folder, mode == "98", 32))


def cases(mode, readable_folder):
    q = UNMAPPED + ":"
    share = "\\\\" + "\\".join(SHARE)
    then_q = readable_report(readable_folder, mode)
    table = [
        ("unmapped letter", [UNMAPPED.lower()],
         Expected(drive_name_line(q) + "\n", fatal(f"ドライブ({q})を参照できません。"), 1)),
        # Without the drive-type line nothing tests the type: the volume
        # query is what fails.
        ("unmapped letter, compact display", ["/w", UNMAPPED],
         Expected("", fatal(f"ディスク({q})を参照できません。"), 1)),
        ("unmapped letter, compact display with the volume report", ["/w", "/v-", UNMAPPED],
         Expected(drive_name_line(q) + "\n", fatal(f"ディスク({q})を参照できません。"), 1)),
        ("unmapped letter, size report only", ["/v", UNMAPPED + ":"],
         Expected("", fatal(f"ディスク({q})を参照できません。"), 1)),
        ("a drive after an unreadable one is not reported",
         [READABLE[0], UNMAPPED, READABLE[0]],
         Expected(then_q.stdout + "\n\n" + drive_name_line(q) + "\n",
                  fatal(f"ドライブ({q})を参照できません。"), 1)),
        ("share found through dosdevices/unc", [share], unreadable_volume(share, 3)),
        ("path below that share", [share + "\\dir\\file"], unreadable_volume(share, 3)),
        ("share Wine cannot find", ["\\\\nosuch\\share"],
         Expected(drive_name_line("\\\\nosuch\\share") + "\n",
                  fatal("ドライブ(\\\\nosuch\\share)を参照できません。"), 1)),
        ("server without a share", ["\\\\" + SHARE[0]],
         Expected("", fatal(f"ドライブ(\\\\{SHARE[0]})を参照できません。"), 1)),
    ]
    for letter, kind in sorted(GONE.items()):
        table.append((f"{kind} whose folder is gone", [letter.lower()],
                      without_medium(letter, mode)))
    table.append(("floppy whose folder is gone, volume report only", ["/s", "b"],
                  without_medium("B", mode, volume_only=True)))
    return table


def main():
    opts, wine, check = start()
    letters = [READABLE[0], UNMAPPED] + sorted(GONE)
    with drive_suite(opts, wine, check, letters, shares=[SHARE]) as (builds, mounts):
        readable = mounts.tmpfs("8m")
        share = mounts.tmpfs("8m")
        with open(os.path.join(readable, ".windows-label"), "w") as f:
            f.write(READABLE[2])
        with open(os.path.join(readable, ".windows-serial"), "w") as f:
            f.write(READABLE[3])
        wine.map_drive(READABLE[0], readable)
        wine.map_drive(UNMAPPED, None)
        gone = mounts.missing_folder()
        for letter in GONE:
            wine.map_drive(letter, gone)
        wine.map_share(*SHARE, share)
        types = dict(GONE, **{READABLE[0]: READABLE[1], UNMAPPED: None})
        wine.configure(types)
        for mode in ("NT", "98"):
            if mode == "98":
                wine.configure(version="win98")
            for what, args, expected in cases(mode, readable):
                builds.run(wine, f"{mode}: {what}: {' '.join(args)}", args,
                           {32: expected, 64: expected})
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
