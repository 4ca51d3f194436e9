#!/usr/bin/env python3
"""The help of the real Windows build equals the end-to-end case's text,
apart from CR LF line ends, the real paths and the build date; the program
name comes from the file as stored, whatever letter case it was typed in."""

import os
import re
import shutil
import sys
import tempfile

from winelib import pe_bits, start

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN_HELP = os.path.join(HERE, "..", "golden", "cases", "help.test")


def golden_help():
    with open(GOLDEN_HELP, encoding="utf-8") as f:
        text = f.read()
    return text.split("--- stdout\n", 1)[1].split("--- stderr\n", 1)[0]


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def main():
    opts, wine, check = start()
    os.makedirs(opts.mounts, exist_ok=True)

    with tempfile.TemporaryDirectory(dir=opts.mounts) as folder:
        program = os.path.join(folder, "volsurvey.exe")
        shutil.copy(opts.exe, program)
        out, err, code = wine.run(program, ["/?"])
        check.equal("exit code", code, 1)
        check.equal("no message", err, "")
        # The build date is the day this program was built.
        date = re.search(r"第1\.11  (\d{4})-(\d\d)-(\d\d)\n", out)
        check.equal("banner shows a build date", bool(date), True)
        expected = golden_help().replace("C:\\TOOLS\\volsurvey.cfg",
                                         windows_path(os.path.join(folder, "volsurvey.cfg")))
        if date:
            expected = expected.replace("2005-04-19", "-".join(date.groups()))
            expected = expected.replace("Copyright (C) 2005", f"Copyright (C) {date.group(1)}")
        check.equal("the help as the end-to-end case has it", out, expected)

        # Typed in lower case, shown as stored; the configuration is listed.
        os.remove(program)
        program = os.path.join(folder, "DiskStat.EXE")
        shutil.copy(opts.exe, program)
        with open(os.path.join(folder, "DiskStat.cfg"), "wb") as f:
            f.write("switch=-\r\n/w\r\n-v /s\r\n".encode("cp932"))
        out, err, code = wine.run(os.path.join(folder, "diskstat.exe"), ["-help"],
                                     bits=pe_bits(opts.exe))
        lines = out.splitlines()
        check.equal("stored name in the usage lines", lines[4], "DiskStat ［△オプション］")
        check.equal("banner keeps its own name", lines[1].split("（")[0], "volsurvey")
        cfg = windows_path(os.path.join(folder, "DiskStat.cfg"))
        check.contains("configuration path and listing", out,
                       f"・設定ファイル={cfg}\n・現在設定=/w \"-v /s\"\n"
                       "・スイッチ文字= / 及び - が使用可能。\n")
        check.equal("exit code", code, 1)
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
