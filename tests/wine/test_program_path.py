#!/usr/bin/env python3
"""The program under other names, run by names whose letter case differs
from the stored one, on the 32-bit and the 64-bit build.

The help's usage lines and examples show the file name as stored on disk,
without its extension, and the configuration file it names sits beside the
program under that stored name.  The folder is shown the way Wine gives the
program its own path: to a 32-bit program in the letter case it was typed
in, to a 64-bit one partly in the stored case; either is the same folder,
and the two builds must agree on everything else.  The banner keeps the command's
own name whatever the file is called.  A stored name longer than MAX_PATH
bytes in Shift-JIS is found whole, on a FUSE file system that holds such
names.
"""

import os
import re
import shutil
import sys
import tempfile

from winelib import Builds, Mounts, Refused, start, windows_path

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN_HELP = os.path.join(HERE, "..", "golden", "cases", "help.test")

# (stored file name, name typed, typed as a Windows path with the folders in
# upper case rather than as the Unix path)
NAMES = [
    ("volsurvey.exe", "VOLSURVEY.EXE", False),
    ("DiskStat.EXE", "diskstat.exe", False),
    ("Disk Survey.exe", "DISK SURVEY.exe", False),
    ("a.b.exe", "A.B.EXE", False),
    ("vs.exe", "VS.exe", True),
    ("DiskStat.EXE", "DISKSTAT.exe", True),
]


def golden_help():
    with open(GOLDEN_HELP, encoding="utf-8") as f:
        text = f.read()
    return text.split("--- stdout\n", 1)[1].split("--- stderr\n", 1)[0]


def expected_help(output, shown_name, config_path):
    """The help of the end-to-end case for a program called shown_name: its
    usage lines and examples name it, the banner does not; the build date
    is the one the program shows, once it has the right form."""
    text = re.sub(r"^volsurvey ", lambda _: shown_name + " ", golden_help(), flags=re.M)
    text = text.replace("C:\\TOOLS\\volsurvey.cfg", config_path)
    date = re.search(r"^volsurvey（ボル・サーベイ）第1\.11  (\d{4})-(\d\d)-(\d\d)$", output, re.M)
    if date:
        text = text.replace("2005-04-19", "-".join(date.groups()))
        text = text.replace("Copyright (C) 2005", f"Copyright (C) {date.group(1)}")
    return text


CONFIG_LINE = re.compile(r"^・設定ファイル=(.*)\\([^\\\n]*)$", re.M)

# A stored name of 130 kanji and ".exe": 264 bytes in Shift-JIS, more than a
# buffer of MAX_PATH bytes holds, and 394 in UTF-8, more than Linux's own
# file systems take (longnamefs serves it).
LONG_STEM = "表" * 130


def long_name_cases(check, wine, builds, mounts):
    """The program under that name finds its configuration file (which turns
    both reports off) and names itself whole in the help."""
    with tempfile.NamedTemporaryFile("wb", dir=mounts.under, suffix=".cfg") as config:
        config.write(b"/v\r\n/s\r\n")
        config.flush()
        for bits, exe in sorted(builds.exes.items()):
            what = f"stored name of {len(LONG_STEM)} kanji [{bits}-bit]"
            try:
                folder = mounts.long_names({LONG_STEM + ".exe": exe, LONG_STEM + ".cfg": config.name})
            except Refused as e:
                check.skip(what, str(e))
                continue
            program = os.path.join(folder, LONG_STEM + ".exe")
            check.equal(f"{what}: its configuration file applied", wine.run(program, ["c"]),
                        ("", "", 0))
            out, err, code = wine.run(program, ["/?"])
            line = CONFIG_LINE.search(out)
            check.equal(f"{what}: the configuration file beside it, by its whole name",
                        (line.group(1).lower(), line.group(2)) if line else None,
                        (windows_path(folder).lower(), LONG_STEM + ".cfg"))
            config_path = f"{line.group(1)}\\{line.group(2)}" if line else ""
            help_text = expected_help(out, LONG_STEM, config_path).replace(
                "・現在設定=設定ファイルが存在しません。", "・現在設定=/v /s")
            check.equal(f"{what}: the help with the whole name", (out, err, code),
                        (help_text, "", 1))


def main():
    opts, wine, check = start()
    builds = Builds(opts.exe, opts.peer, check, compared_by_peer=opts.compared_by_peer)
    os.makedirs(opts.mounts, exist_ok=True)
    for stored, typed, windows in NAMES:
        shown = stored[:-4]
        outputs = {}
        with tempfile.TemporaryDirectory(dir=opts.mounts) as folder:
            if windows:
                directory = windows_path(folder).upper()
                program = directory + "\\" + typed
            else:
                directory = windows_path(folder)
                program = os.path.join(folder, typed)
            for bits, exe in sorted(builds.exes.items()):
                shutil.copy(exe, os.path.join(folder, stored))
                out, err, code = wine.run(program, ["/?"], bits=bits)
                what = f"stored {stored!r}, run as {typed!r} [{bits}-bit]"
                line = CONFIG_LINE.search(out)
                check.equal(f"{what}: configuration file beside the program, by its stored name",
                            (line.group(1).lower(), line.group(2)) if line else None,
                            (directory.lower(), shown + ".cfg"))
                config_path = f"{line.group(1)}\\{line.group(2)}" if line else ""
                print(f"     folder as the program got it: {line.group(1) if line else None}")
                check.equal(f"{what}: the help with the stored name", (out, err, code),
                            (expected_help(out, shown, config_path), "", 1))
                outputs[bits] = CONFIG_LINE.sub(lambda m: m.group(0).lower(), out)
        if len(outputs) == 2:
            check.equal(f"stored {stored!r}, run as {typed!r}: 32-bit and 64-bit alike but for "
                        "the letter case of the folder", outputs[32], outputs[64])
    mounts = Mounts(opts.mounts)
    try:
        long_name_cases(check, wine, builds, mounts)
    finally:
        mounts.close()
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
