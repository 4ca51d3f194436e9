#!/usr/bin/env python3
"""Names reach the system as they were written, whatever Shift-JIS or the
system's ANSI code page lacks, on each Windows build.

- NT family: share arguments whose names Shift-JIS lacks.  Two of them may
  have the same Shift-JIS form (\\\\srv\\?? for \\\\srv\\한글 and \\\\srv\\문서,
  \\\\srv\\caf? for café and cafè); each must still be asked about under its
  own root, and adding one never changes another's report.  Wine 8 finds a
  \\\\server\\share root but cannot read its volume, so such a run stops at
  its first share: there the drive type and the message are checked, and,
  from Wine's relay trace, the very root each drive query was given.  A
  root of the device form \\\\.\\name, a folder that is also a drive's, can
  be read: there a run goes on to the next argument and each share shows
  its own drive's label and serial number.
- Windows 98, ANSI code page 1252: in a folder whose name ends in a letter
  whose byte Shift-JIS takes for a lead byte (é is 0xE9), the configuration
  file beside the program is found and applied, and the help names it with
  the folder's ANSI bytes as they are.
- Windows 98, a folder the ANSI code page cannot spell: GetModuleFileNameA
  gives a look-alike ("Cafe" for "Café" in code page 932) or "?" for it, a
  path that the ANSI functions cannot open.  The program runs all the same,
  without the configuration file there.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass
from typing import Optional

from report_model import (Volume, drive_name_line, fatal, full_report, unreadable_volume,
                          volume_lines, wine_answers)
from test_system_calls import DRIVE_QUERY, RELAY, own_calls
from winelib import (LOCALES, WINE64, drive_suite, heap_errors_in, loader, program_errors, shown,
                     start, volume_label_file, volume_serial_file, windows_path)

SERVER = "srv"

# Pairs of share names with the same Shift-JIS form, and the locales to run
# them in: the program's own conversion to Shift-JIS does not depend on the
# system's code pages, so the Hangul pair collides in an English system too.
SHARE_PAIRS = [
    (("한글", "문서"), LOCALES),
    # Code page 932 has neither accent: a Japanese system sees "caf?" twice.
    (("café", "cafè"), ("ja_JP.UTF-8",)),
]

# The drive behind each name of a pair: (letter, label file, serial file).
# The first name is a share that exists; the second exists only in the
# device form.
FIRST_DRIVE = ("M", "SHARE_ONE\n", "0a0b0c0d\n")
SECOND_DRIVE = ("N", "SHARE_TWO\n", "1a1b1c1d\n")

# Runs over a pair: each argument is (form, which name, path below the
# root).  "share" is \\srv\name, "device" is \\.\name.
SHARE_RUNS = [
    [("share", 0, "")],
    [("share", 1, "\\sub")],
    [("share", 0, ""), ("share", 1, "\\sub")],
    [("share", 1, "\\sub"), ("share", 0, "")],
    [("device", 0, "")],
    [("device", 1, "")],
    [("device", 0, ""), ("device", 1, "")],
    [("device", 1, "\\sub"), ("device", 0, "")],
]

# The Windows 98 checks' drive, mapped to a tmpfs of fixed size so that its
# full report can be worked out.
DRIVE_98 = ("T", "WIN98_DRIVE\n", "0098abcd\n", "16m")

# Program folders as Windows 98 runs them, in each locale: a folder the
# ANSI code page spells keeps its configuration file, one it cannot spell
# cannot (the ANSI functions never reach it).
FOLDERS_98 = [
    ("C.UTF-8", "Café"),  # é (0xE9) a lead byte just before the separator
    ("C.UTF-8", "Año"),  # ñ (0xF1) a lead byte before another letter
    ("C.UTF-8", "山田ツール"),
    ("C.UTF-8", "한글"),
    ("ja_JP.UTF-8", "Café"),
    ("ja_JP.UTF-8", "山田ツール"),
    ("ja_JP.UTF-8", "한글"),
]
ANSI_CODEC = {"C.UTF-8": "cp1252", "ja_JP.UTF-8": "cp932"}
CONFIG = b"/v\r\n/s\r\n"  # with both reports off, an applied file leaves nothing to print
HELP_CONFIG = "・設定ファイル=".encode("cp932")
HELP_SETTINGS = "・現在設定=".encode("cp932")
NO_CONFIG = "・現在設定=設定ファイルが存在しません。".encode("cp932")

# A wide string argument in Wine's relay trace: L"..." with "\\" for a
# backslash and "\XXXX" for a character outside ASCII.
WIDE_ARGUMENT = re.compile(r'L"((?:[^"\\]|\\.)*)"')
WIDE_ESCAPE = re.compile(r"\\(?:([0-9a-f]{4})|(.))")
ESCAPED = {"n": "\n", "r": "\r", "t": "\t"}


def wide_argument(arguments):
    """The first wide string among a traced call's arguments, or None."""
    m = WIDE_ARGUMENT.search(arguments)
    if not m:
        return None
    return WIDE_ESCAPE.sub(lambda e: chr(int(e.group(1), 16)) if e.group(1)
                           else ESCAPED.get(e.group(2), e.group(2)), m.group(1))


def make_drive(mounts, wine, drive, size="1m"):
    letter, label, serial = drive[:3]
    folder = mounts.tmpfs(size)
    with open(os.path.join(folder, ".windows-label"), "w") as f:
        f.write(label)
    with open(os.path.join(folder, ".windows-serial"), "w") as f:
        f.write(serial)
    wine.map_drive(letter, folder)
    return folder


def volume_of(drive):
    _, label, serial = drive[:3]
    return Volume(3, volume_label_file(label), volume_serial_file(serial), "NTFS")


@dataclass
class Argument:
    text: str  # as typed
    root: str  # the root the system must be asked about
    volume: Optional[Volume]  # what Wine reads there; None where it cannot
    exists: bool


def argument(form, pair, which, below):
    name = pair[which]
    if form == "share":
        # Only the first name of a pair is there as a share.
        root = f"\\\\{SERVER}\\{name}"
        return Argument(root + below, root + "\\", None, which == 0)
    root = f"\\\\.\\{name}"
    return Argument(root + below, root + "\\", volume_of((FIRST_DRIVE, SECOND_DRIVE)[which]),
                    True)


def expected_run(arguments):
    """((stdout, stderr, exit code), drive queries as (function, root)) of
    a run in which every argument gets its own report, up to the first
    that fails."""
    reports, queries = [], []
    for arg in arguments:
        name = shown(arg.root[:-1])
        queries.append(("GetDriveTypeW", arg.root))
        if not arg.exists:
            reports.append(drive_name_line(name) + "\n")
            return ("\n\n".join(reports), fatal(f"ドライブ({name})を参照できません。"), 1), queries
        queries.append(("GetVolumeInformationW", arg.root))
        if arg.volume is None:
            out, err, code = unreadable_volume(name, 3)
            reports.append(out)
            return ("\n\n".join(reports), err, code), queries
        reports.append("\n".join(volume_lines(name, arg.volume)) + "\n")
    return ("\n\n".join(reports), "", 0), queries


def traced_queries(wine, exe, bits, args, locale, trace):
    """The drive queries the program made, as (function, root), from Wine's
    relay trace of its own calls."""
    with open(trace, "wb") as log:
        subprocess.run([loader(exe, bits), exe] + args,
                       env=wine.run_env(locale, {"WINEDEBUG": RELAY}),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=log,
                       timeout=120)
    with open(trace, "rb") as log:
        heap_errors_in(log.read())
    return [(function, wide_argument(arguments))
            for dll, function, arguments in own_calls(trace, exe)
            if dll == "KERNEL32" and DRIVE_QUERY.match(function)]


def share_cases(wine, check, builds, trace):
    for pair, locales in SHARE_PAIRS:
        for run in SHARE_RUNS:
            arguments = [argument(form, pair, which, below) for form, which, below in run]
            args = ["/s"] + [arg.text for arg in arguments]
            output, queries = expected_run(arguments)
            for locale in locales:
                for bits, exe in sorted(builds.exes.items()):
                    what = f"NT: {' '.join(args)} [{locale}, {bits}-bit]"
                    check.equal(f"{what}: each argument's own report",
                                wine.run(exe, args, bits=bits, locale=locale), output)
                    check.equal(f"{what}: each argument's own root asked",
                                traced_queries(wine, exe, bits, args, locale, trace), queries)


def run_bytes(wine, exe, args, bits, locale):
    """A run whose standard output is kept as bytes, CR LF turned into LF:
    in Windows 98 mode a path in it holds the ANSI code page's bytes."""
    result = subprocess.run([loader(exe, bits), exe] + args, env=wine.run_env(locale),
                            capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
    return (result.stdout.replace(b"\r\n", b"\n"), program_errors(result.stderr),
            result.returncode)


def help_line(out, start):
    lines = [line for line in out.split(b"\n") if line.startswith(start)]
    return lines[0] if len(lines) == 1 else lines


def win98_cases(wine, check, builds, under, drive_folder):
    letter = DRIVE_98[0]
    with tempfile.TemporaryDirectory(dir=under) as top:
        for locale, name in FOLDERS_98:
            codec = ANSI_CODEC[locale]
            try:
                name.encode(codec)
                spelled = True
            except UnicodeEncodeError:
                spelled = False
            folder = os.path.join(top, name)
            os.mkdir(folder)
            program = os.path.join(folder, "volsurvey.exe")
            config = os.path.join(folder, "volsurvey.cfg")
            with open(config, "wb") as f:
                f.write(CONFIG)
            for bits, exe in sorted(builds.exes.items()):
                shutil.copy(exe, program)
                what = f"98: program in {name} [{locale}, {bits}-bit]"
                report = wine.run(program, [letter.lower()], bits=bits, locale=locale)
                out, err, code = run_bytes(wine, program, ["/?"], bits, locale)
                if spelled:
                    check.equal(f"{what}: the file beside it applied", report, ("", "", 0))
                    check.equal(f"{what}: the help names the file beside it",
                                (help_line(out, HELP_CONFIG), help_line(out, HELP_SETTINGS),
                                 err, code),
                                (HELP_CONFIG + windows_path(config).encode(codec),
                                 HELP_SETTINGS + b"/v /s", "", 1))
                else:
                    check.equal(f"{what}: runs without the file",
                                report,
                                tuple(full_report(letter + ":", volume_of(DRIVE_98),
                                                  wine_answers(drive_folder, True, bits))))
                    check.equal(f"{what}: the help finds no file",
                                (help_line(out, HELP_SETTINGS), err, code), (NO_CONFIG, "", 1))
            shutil.rmtree(folder)


def main():
    opts, wine, check = start()
    os.makedirs(opts.mounts, exist_ok=True)
    letters = [FIRST_DRIVE[0], SECOND_DRIVE[0], DRIVE_98[0]]
    shares = [(SERVER, pair[0]) for pair, _ in SHARE_PAIRS]
    devices = [name for pair, _ in SHARE_PAIRS for name in pair]
    # The build under test alone: nothing here compares the two builds, and
    # the other build's own checks run its cases.
    with drive_suite(opts, wine, check, letters, shares, compare=False) as (builds, mounts):
        try:
            first = make_drive(mounts, wine, FIRST_DRIVE)
            second = make_drive(mounts, wine, SECOND_DRIVE)
            drive_98 = make_drive(mounts, wine, DRIVE_98, DRIVE_98[3])
            for pair, _ in SHARE_PAIRS:
                wine.map_share(SERVER, pair[0], first)
                wine.map_dos_device(pair[0], first)
                wine.map_dos_device(pair[1], second)
            wine.command([WINE64, "reg", "add", r"HKCU\Software\Wine\Debug", "/v",
                          "RelayFromInclude", "/d", "volsurvey.exe", "/f"])
            # Labels, drive types and the relay setting are read at the
            # server's next start.
            wine.configure({letter: "hd" for letter in letters})
            with tempfile.TemporaryDirectory(dir=os.path.dirname(wine.prefix)) as folder:
                share_cases(wine, check, builds, os.path.join(folder, "trace"))
            wine.configure(version="win98")
            win98_cases(wine, check, builds, opts.mounts, drive_98)
        finally:
            wine.command([WINE64, "reg", "delete", r"HKCU\Software\Wine\Debug", "/v",
                          "RelayFromInclude", "/f"], check=False)
            for name in devices:
                wine.map_dos_device(name, None)
            # drive_suite then forgets the shares and letters and returns
            # Wine to the NT family.
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
