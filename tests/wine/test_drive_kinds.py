#!/usr/bin/env python3
"""Every drive type Wine knows, on fixed-size tmpfs mounts, in the NT family
and as Windows 98, run by the 32-bit and the 64-bit build.

Each drive's report must equal the one built from the mount itself: its label
and serial files, and the capacity statvfs gives.  The sizes are picked so
that every way of the size report is taken: the classic query of the NT
family; the 95 family's classic query capped at 2 GB (a CD) and its 64-bit
query with the VWIN32 request (a hard disk over 2 GB); and on network drives
the request's cluster size kept (4096) or replaced by the estimate on each
side of its 8 GiB step.  The 64-bit program never sends the request (there
is no 64-bit Windows of the 95 family, and the register block holds 32-bit
addresses), so as Windows 98 it estimates the cluster size wherever the
32-bit one takes it from the request: that difference is asserted, line by
line, rather than passed over.
"""

import os
import sys
from dataclasses import dataclass

from report_model import Volume, WINE_DRIVE_TYPE, full_report, wine_answers
from winelib import drive_suite, start, volume_label_file, volume_serial_file


@dataclass
class Drive:
    letter: str
    kind: str
    size: str
    label_file: str
    serial_file: str


DRIVES = [
    Drive("D", "hd", "64m", "SURVEY\n", "12ab34cd\n"),
    # Over 2 GB: the two queries of the 95 family cannot agree here.
    Drive("E", "hd", "3g", "BIG DISK  \r\n", "0001fffe"),
    Drive("F", "floppy", "2m", "FLOPPY", "00ab00cd\n"),
    Drive("R", "cdrom", "64m", "CD_VOLUME\n", "fedc0001\n"),
    Drive("S", "cdrom", "3g", "CD_BIG\n", "80000000\n"),
    # The request reports 4096 here, which stands.
    Drive("N", "network", "64m", "SHARE\n", "0000ffff\n"),
    # The request reports 32768: estimated from the capacity instead.
    Drive("O", "network", "3g", "SHARE_3G\n", "ffff0000\n"),
    Drive("P", "network", "8191m", "SHARE_8191M\n", "00000001\n"),
    Drive("U", "network", "8g", "SHARE_8G\n", "7fffffff\n"),
    Drive("V", "network", "32g", "SHARE_32G\n", "a5a55a5a\n"),
    Drive("M", "ramdisk", "16m", "RAM\n", "0badcafe\n"),
]

# Other spellings of a drive on the command line, and the name the report
# gives it.  Wine resolves the device forms \\.\D: and \\?\D: to the drive,
# so they stand for a share root that can be read.
ARGUMENT_FORMS = [
    ("D:", "D:"),
    ("d:", "D:"),
    (r"\\.\D:", r"\\.\D:"),
    (r"\\?\d:", r"\\?\d:"),
    (r"\\.\D:\ignored\below", r"\\.\D:"),
]

# Run from here, the command without a drive argument reports this drive.
WORK_FOLDER = "work"

VWIN32_DIFFERENCE = "no VWIN32 request from a 64-bit program, so the cluster size is estimated"


def prepare(drive, mounts, wine):
    folder = mounts.tmpfs(drive.size)
    os.mkdir(os.path.join(folder, WORK_FOLDER))
    with open(os.path.join(folder, ".windows-label"), "w") as f:
        f.write(drive.label_file)
    with open(os.path.join(folder, ".windows-serial"), "w") as f:
        f.write(drive.serial_file)
    wine.map_drive(drive.letter, folder)
    return folder


def volume_of(drive):
    return Volume(WINE_DRIVE_TYPE[drive.kind], volume_label_file(drive.label_file),
                  volume_serial_file(drive.serial_file),
                  "CDFS" if drive.kind == "cdrom" else "NTFS")


def run_mode(mode, wine, builds, check, drives):
    win98 = mode == "98"
    # (drive, arguments, name in the report, run from a folder of the drive)
    cases = [(drive, [drive.letter.lower()], drive.letter + ":", False) for drive, _ in drives]
    cases += [(drive, [], drive.letter + ":", True) for drive, _ in drives]
    first, _ = drives[0]
    cases += [(first, [argument], name, False) for argument, name in ARGUMENT_FORMS]
    folders = {drive.letter: folder for drive, folder in drives}
    for drive, args, name, from_drive in cases:
        folder = folders[drive.letter]
        before = os.statvfs(folder)
        expected = {bits: full_report(name, volume_of(drive), wine_answers(folder, win98, bits))
                    for bits in (32, 64)}
        what = f"argument {args[0]}" if args else "no argument, run from the drive"
        builds.run(wine, f"{mode}: {drive.kind} {drive.size}, {what}", args, expected,
                   VWIN32_DIFFERENCE,
                   cwd=os.path.join(folder, WORK_FOLDER) if from_drive else None)
        check.equal(f"{mode}: {drive.letter}: stayed idle", os.statvfs(folder), before)


def main():
    opts, wine, check = start()
    with drive_suite(opts, wine, check, [drive.letter for drive in DRIVES]) as (builds, mounts):
        drives = [(drive, prepare(drive, mounts, wine)) for drive in DRIVES]
        wine.configure({drive.letter: drive.kind for drive in DRIVES})
        run_mode("NT", wine, builds, check, drives)
        wine.configure(version="win98")
        run_mode("98", wine, builds, check, drives)
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
