#!/usr/bin/env python3
"""The drive reports of the real Windows build, checked against the mount.

A drive letter is mapped to a folder on a fixed-size tmpfs; the figures the
program prints must equal what statvfs says of that mount, in Wine's NT mode
(the classic query) and in its Windows 98 mode (the 64-bit query with the
VWIN32 device request, which only a 32-bit program can send).
"""

import os
import re
import sys

from report_model import Volume, size_lines, wine_answers
from winelib import capacity_text, pe_bits, start, statvfs_bytes, tmpfs

CLUSTER = 4096  # Wine reports 8 sectors of 512 bytes for a 4 KiB-block tmpfs


def expected_size_lines(folder, estimated):
    total, free = statvfs_bytes(folder)
    cluster_label = "クラスタ・サイズ(推定値)" if estimated else "クラスタ・サイズ"
    return [
        f"        全ディスク容量:{capacity_text(total)}バイト={total // CLUSTER}クラスタ",
        f"        空ディスク容量:{capacity_text(free)}バイト={free // CLUSTER}クラスタ",
        "        セクタ・サイズ:512バイト",
        f"      {cluster_label}:4K(4096)バイト=8セクタ",
        f"格納可能最大ファイル数:{total // CLUSTER}個",
        f"格納可能残りファイル数:{free // CLUSTER}個",
    ]


def cluster_size(lines):
    """The cluster size the report printed, from its exact figure."""
    match = re.search(r"クラスタ・サイズ(?:\(推定値\))?:(?:\d+[KMG]\()?(\d+)\)?バイト", "\n".join(lines))
    return int(match.group(1)) if match else 1


def main():
    opts, wine, check = start()
    wide64 = pe_bits(opts.exe) == 64

    with tmpfs("64m", opts.mounts) as folder:
        with open(os.path.join(folder, ".windows-label"), "w") as f:
            f.write("SURVEY\n")
        with open(os.path.join(folder, ".windows-serial"), "w") as f:
            f.write("12ab34cd\n")
        wine.map_drive("m", folder)
        wine.set_drive_type("m", "hd")
        wine.restart()
        out, err, code = wine.run(opts.exe, ["m"])
        lines = out.splitlines()
        check.equal("NT: exit code", code, 0)
        check.equal("NT: no message", err, "")
        check.equal("NT: volume head", lines[:4], [
            "              ドライブ名:M:",
            "            ドライブ種別:FIXED",
            '    ボリューム・ラベル名:"SURVEY"',
            "ボリューム・シリアル番号:12AB-34CD",
        ])
        check.equal("NT: size report from statvfs", lines[11:], expected_size_lines(folder, False))

    # Over 2 GB, so that the classic query of the Windows 95 family (capped
    # at 2 GB) and the 64-bit query cannot give the same figures.
    with tmpfs("3g", opts.mounts) as folder:
        wine.map_drive("m", folder)
        wine.set_version("win98")
        try:
            out, err, code = wine.run(opts.exe, ["/v", "m"])
        finally:
            wine.set_version(None)
        check.equal("98: exit code", code, 0)
        check.equal("98: no message", err, "")
        # Only a 32-bit program can send the device request; without it the
        # cluster size is the estimate for a volume below 8 GiB.
        lines = out.splitlines()
        total, free = statvfs_bytes(folder)
        cluster = cluster_size(lines)
        check.equal("98: total from the 64-bit query", lines[1],
                    f"        全ディスク容量:{capacity_text(total)}バイト={total // cluster}クラスタ")
        check.equal("98: free from the 64-bit query", lines[2],
                    f"        空ディスク容量:{capacity_text(free)}バイト={free // cluster}クラスタ")
        # Only a 32-bit program can send the device request; without it the
        # cluster size is the estimate, 4096 for a volume below 8 GiB.
        if wide64:
            check.equal("98: estimated cluster size", lines[4],
                        "      クラスタ・サイズ(推定値):4K(4096)バイト=8セクタ")
        else:
            check.contains("98: cluster size from the device request", lines[4],
                           "      クラスタ・サイズ:")
        wine.map_drive("m", None)

    # 70 TiB in 4 KiB clusters: 18,790,481,920 of them, more than 32 bits
    # hold.  Wine's classic query keeps their low 32 bits (Windows answers
    # 0xFFFFFFFF), and the counts must still come out whole.  As Windows 98
    # the clusters are of 32 KiB, device request and estimate alike.
    whole = {"NT": "        全ディスク容量:71680.0G(76965813944320)バイト=18790481920クラスタ",
             "98": "        全ディスク容量:71680.0G(76965813944320)バイト=2348810240クラスタ"}
    with tmpfs("70T", opts.mounts) as folder:
        wine.map_drive("m", folder)
        volume = Volume(3, "", 0, "NTFS")
        for mode in ("NT", "98"):
            wine.set_version("win98" if mode == "98" else None)
            out, err, code = wine.run(opts.exe, ["/v", "m"])
            lines = out.splitlines()
            answers = wine_answers(folder, mode == "98", pe_bits(opts.exe))
            check.equal(f"70 TiB, {mode}: exit code and message", (code, err), (0, ""))
            check.equal(f"70 TiB, {mode}: size report", lines[1:],
                        size_lines("M:", volume, answers))
            check.equal(f"70 TiB, {mode}: the whole capacity", lines[1], whole[mode])
        wine.set_version(None)
        wine.map_drive("m", None)

    wine.map_drive("q", None)
    out, err, code = wine.run(opts.exe, ["q"])
    check.equal("unmapped: exit code", code, 1)
    check.equal("unmapped: output so far", out, "              ドライブ名:Q:\n")
    check.equal("unmapped: message", err, "\n\a処理停止:ドライブ(Q:)を参照できません。\n")
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
