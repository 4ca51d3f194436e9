#!/usr/bin/env python3
"""Volumes mounted in folders, as far as Wine can show them.

Wine has the functions (FindFirstVolumeW, GetVolumePathNamesForVolumeNameW,
GetVolumePathNameW) but mounts no volume in a folder: it lists one volume
for each lettered drive.  A Linux mount point inside Z: is no volume to it,
yet GetVolumePathNameW names such a folder; the program must not take it
for one.  list_volumes (--volumes) shows what Wine answers, in the log.

What the program must do:
- NT mode: /a and /a /j list the prefix's letters and nothing more; a path
  below C: (C:\\windows) reports C: exactly as `c` does, and a path inside a
  Linux mount point under Z: reports Z: exactly as `z` does; each volume
  named by its volume name from FindFirstVolumeW (\\\\?\\Volume{...}\\)
  reports the same lines as its letter, but for its name.
- Windows 98 mode (32-bit build) and NT 4.0 mode: the program starts, /a
  lists the letters, and C:\\windows reports C: exactly as `c` does; the
  relay trace shows that neither run so much as looks up a function of
  mounted volumes.  In NT mode `c` looks up none either, C:\\windows asks
  GetVolumePathNameW, and /a lists the volumes.
"""

import os
import re
import sys
import tempfile

from test_system_calls import own_calls, traced_run
from winelib import WINE64, pe_bits, start, tmpfs, windows_path

DRIVE_NAME = re.compile(r"^ *ドライブ名:(.*)$", re.M)
# Free space changes between two runs as other programs write.
FREE_LINES = ("空ディスク容量:", "格納可能残りファイル数:")


def steady(text):
    """The report with its free-space figures and its drive name blotted."""
    lines = []
    for line in text.splitlines(keepends=True):
        if line.lstrip().startswith(FREE_LINES):
            line = re.sub(r"[0-9.]+", "#", line)
        lines.append(DRIVE_NAME.sub(" ドライブ名:#", line))
    return "".join(lines)


def listed_letters(wine):
    """The letters Wine's GetLogicalDrives gives: the prefix's drive links."""
    names = os.listdir(os.path.join(wine.prefix, "dosdevices"))
    return [name[0].upper() + ":" for name in sorted(names) if re.fullmatch(r"[a-z]:", name)]


def volumes(wine, probe):
    """{volume name: [paths]} as list_volumes gives them."""
    out, err, code = wine.run(probe, [])
    found = {}
    for line in out.splitlines():
        name, *paths = line.split("\t")
        found[name] = paths
    print(f"     FindFirstVolumeW/FindNextVolumeW (exit code {code}{', ' + err if err else ''}):")
    for name, paths in found.items():
        print(f"       {name}  GetVolumePathNamesForVolumeNameW: {paths}")
    return found


def same_report(check, wine, exe, what, argument, letter):
    """`argument` reports what `letter` does, but for the drive's name."""
    out, err, code = wine.run(exe, [argument])
    alone, alone_err, alone_code = wine.run(exe, [letter])
    check.equal(f"{what}: exit code and message", (code, err), (alone_code, alone_err))
    check.equal(f"{what}: the report of {letter}", steady(out), steady(alone))
    return out


VOLUME_FUNCTIONS = ("FindFirstVolumeW", "FindNextVolumeW", "FindVolumeClose",
                    "GetVolumePathNamesForVolumeNameW", "GetVolumePathNameW",
                    "GetVolumeNameForVolumeMountPointW")


def volume_functions_asked(wine, exe, args):
    """The functions of mounted volumes the program looked up or called in
    a run with `args`, from Wine's relay trace, in order."""
    with tempfile.TemporaryDirectory(dir=os.path.dirname(wine.prefix)) as folder:
        trace = os.path.join(folder, "trace")
        traced_run(wine, [exe] + args, trace)
        asked = []
        for dll, function, arguments in own_calls(trace, exe):
            names = [function] + re.findall(r'"(\w+)"', arguments)
            asked += [name for name in names if name in VOLUME_FUNCTIONS and name not in asked]
        return asked


def traced_cases(check, wine, exe, mode, cases):
    wine.command([WINE64, "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayFromInclude",
                  "/d", "volsurvey.exe", "/f"])
    try:
        for args, expected in cases:
            check.equal(f"{mode}: {' '.join(args)}: the functions of mounted volumes asked",
                        volume_functions_asked(wine, exe, args), expected)
    finally:
        wine.command([WINE64, "reg", "delete", r"HKCU\Software\Wine\Debug", "/v",
                      "RelayFromInclude", "/f"], check=False)


def whole_machine(check, wine, exe, mode):
    letters = listed_letters(wine)
    out, _, _ = wine.run(exe, ["/a", "/s"])
    check.equal(f"{mode}: /a lists the letters alone", DRIVE_NAME.findall(out), letters)


def main():
    def arguments(parser):
        parser.add_argument("--volumes", required=True, help="list_volumes.exe of this build")
    opts, wine, check = start(arguments)
    exe = opts.exe

    found = volumes(wine, opts.volumes)
    whole_machine(check, wine, exe, "NT")
    out, _, _ = wine.run(exe, ["/a", "/j", "/s"])
    names = re.findall(r'"drive": "([^"]*)"', out)
    check.equal("NT: /a /j lists the letters alone", names, listed_letters(wine))

    # Named as the system names the volume, whatever the case it was typed in.
    reported = same_report(check, wine, exe, "NT: c:\\windows", "c:\\windows", "c")
    check.equal("NT: c:\\windows: named C:", DRIVE_NAME.findall(reported), ["C:"])
    same_report(check, wine, exe, "NT: c:\\WINDOWS\\system32\\none.txt",
                "c:\\WINDOWS\\system32\\none.txt", "c")
    with tmpfs("16m", opts.mounts) as folder:
        os.makedirs(os.path.join(folder, "sub"))
        inside = windows_path(os.path.join(folder, "sub"))
        probe, _, _ = wine.run(opts.volumes, [inside])
        print(f"     GetVolumePathNameW, GetVolumeNameForVolumeMountPointW of {inside}: "
              f"{probe.strip()}")
        reported = same_report(check, wine, exe, "NT: inside a Linux mount point", inside, "z")
        check.equal("NT: inside a Linux mount point: named Z:", DRIVE_NAME.findall(reported),
                    ["Z:"])

    lettered = {paths[0]: name for name, paths in found.items() if paths and
                re.fullmatch(r"[A-Z]:\\", paths[0])}
    check.equal("NT: Wine lists a volume for C:", "C:\\" in lettered, True)
    for path, name in sorted(lettered.items()):
        out = same_report(check, wine, exe, f"NT: {name} ({path[:2]})", name, path[:2])
        check.equal(f"NT: {name} named as typed", DRIVE_NAME.findall(out), [name[:-1]])
        print(f"     {name} beside {path[:2]}:")
        alone, _, _ = wine.run(exe, [path[:2]])
        for a, b in zip(out.splitlines(), alone.splitlines()):
            print(f"       {b:44} | {a}")

    traced_cases(check, wine, exe, "NT", [
        (["c"], []),
        # A drive root needs no more than the one question.
        (["C:\\windows"], ["GetVolumePathNameW"]),
        # The last, to tell a volume whose paths cannot be read that a
        # letter reaches.
        (["/a", "/s"], ["FindFirstVolumeW", "FindNextVolumeW", "FindVolumeClose",
                        "GetVolumePathNamesForVolumeNameW", "GetVolumeNameForVolumeMountPointW"]),
    ])

    modes = [("NT 4.0", "nt40")] + ([("98", "win98")] if pe_bits(exe) == 32 else [])
    for mode, version in modes:
        wine.set_version(version)
        try:
            out, err, code = wine.run(exe, ["c"])
            check.equal(f"{mode}: the program starts and reports C:",
                        (code, err, DRIVE_NAME.findall(out)), (0, "", ["C:"]))
            whole_machine(check, wine, exe, mode)
            same_report(check, wine, exe, f"{mode}: C:\\windows", "C:\\windows", "c")
            traced_cases(check, wine, exe, mode, [(["C:\\windows"], []), (["/a", "/s"], [])])
        finally:
            wine.set_version(None)
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
