#!/usr/bin/env python3
"""FAT12, FAT16 and FAT32 volumes made with mkfs.fat, on loop devices.

A drive letter whose Unix device is a loop device holding a FAT image: Wine
reads that device's boot sector for the label, the serial number and the file
system ("FAT" for FAT12 and FAT16, "FAT32"), so the report must show what the
test reads from the same boot sector.  As Windows 98 a "FAT" volume takes the
classic query (capped at 2 GB, 65535 clusters) and a "FAT32" volume the 64-bit
query with the VWIN32 request.

The capacity figures come from the drive's folder.  With --mounted the folder
is the FAT volume itself, mounted from the same loop device by the kernel's
FAT driver or, where the kernel has none, through FUSE (fusefat); without it,
a tmpfs (over 2 GB for the two hard disks, so that the two queries of the 95
family tell apart).
"""

import os
import subprocess
import sys
from dataclasses import dataclass

from report_model import Volume, WINE_DRIVE_TYPE, full_report, wine_answers
from winelib import drive_suite, fat_boot_sector, fat_data_bytes, skip, start, statvfs_bytes


@dataclass
class FatDrive:
    letter: str
    kind: str
    fat_bits: int
    image_size: str
    mkfs_options: list
    label: str
    serial: int
    folder_size: str  # the tmpfs behind the letter when the volume is not mounted


# Clusters of 1 KiB at least: fusefat counts a volume's size in whole KiB a
# cluster, so clusters of 512 bytes would make every volume 0 bytes there.
DRIVES = [
    FatDrive("A", "floppy", 12, "1440k", ["-s", "2"], "DOSDISK", 0x1A2B3C4D, "2m"),
    FatDrive("H", "hd", 16, "32m", [], "DATA16", 0x00AB00CD, "3g"),
    # Room for the 65,525 clusters that FAT32 needs at least.
    FatDrive("I", "hd", 32, "66m", ["-s", "2"], "DATA32", 0xDEADBEEF, "3g"),
]

VWIN32_DIFFERENCE = "no VWIN32 request from a 64-bit program, so the cluster size is estimated"


def make_image(drive, folder):
    image = os.path.join(folder, f"fat{drive.fat_bits}.img")
    subprocess.run(["truncate", "-s", drive.image_size, image], check=True)
    subprocess.run(["mkfs.fat", "-F", str(drive.fat_bits), "-n", drive.label,
                    "-i", f"{drive.serial:08x}"] + drive.mkfs_options + [image],
                   check=True, capture_output=True)
    return image


def main():
    opts, wine, check = start(lambda parser: parser.add_argument(
        "--mounted", action="store_true", help="mount each FAT volume as the drive's folder"))
    if subprocess.run(["which", "mkfs.fat"], capture_output=True).returncode != 0:
        skip("mkfs.fat (dosfstools) is not installed")
    with drive_suite(opts, wine, check, [drive.letter for drive in DRIVES]) as (builds, mounts):
        volumes = []
        images = mounts.tmpfs("128m")
        for drive in DRIVES:
            image = make_image(drive, images)
            fs_name, label, serial = fat_boot_sector(image)
            # The boot sector says what mkfs.fat was asked for.
            check.equal(f"FAT{drive.fat_bits} image: file system, label and serial",
                        (fs_name, label, serial),
                        ("FAT32" if drive.fat_bits == 32 else "FAT", drive.label,
                         drive.serial))
            device = mounts.loop_device(image)
            if opts.mounted:
                folder = mounts.fat_volume(device, f"a FAT{drive.fat_bits} volume")
                check.equal(f"FAT{drive.fat_bits}: the drive's folder is the volume",
                            statvfs_bytes(folder)[0], fat_data_bytes(image))
            else:
                folder = mounts.tmpfs(drive.folder_size)
            wine.map_drive(drive.letter, folder)
            wine.map_device(drive.letter, device)
            volume = Volume(WINE_DRIVE_TYPE[drive.kind], label, serial, fs_name)
            volumes.append((drive, volume, folder))
        wine.configure({drive.letter: drive.kind for drive in DRIVES})
        for mode in ("NT", "98"):
            if mode == "98":
                wine.configure(version="win98")
            for drive, volume, folder in volumes:
                before = os.statvfs(folder)
                expected = {bits: full_report(drive.letter + ":", volume,
                                              wine_answers(folder, mode == "98", bits))
                            for bits in (32, 64)}
                builds.run(wine, f"{mode}: FAT{drive.fat_bits} {drive.kind}",
                           [drive.letter.lower()], expected, VWIN32_DIFFERENCE)
                check.equal(f"{mode}: {drive.letter}: stayed idle", os.statvfs(folder), before)
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
