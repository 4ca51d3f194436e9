#!/usr/bin/env python3
"""The configuration file of the real Windows build: found beside the program
file under the program's own name (whatever that is), and applied."""

import os
import shutil
import sys
import tempfile

from winelib import start


def install(folder, exe_name, cfg_name, cfg_text, exe):
    shutil.copy(exe, os.path.join(folder, exe_name))
    if cfg_name:
        with open(os.path.join(folder, cfg_name), "wb") as f:
            f.write(cfg_text.replace("\n", "\r\n").encode("cp932"))
    return os.path.join(folder, exe_name)


def main():
    opts, wine, check = start()
    os.makedirs(opts.mounts, exist_ok=True)

    with tempfile.TemporaryDirectory(dir=opts.mounts) as folder:
        program = install(folder, "volsurvey.exe", "volsurvey.cfg",
                          "# presets\nswitch = -\n/w   ; compact\n", opts.exe)
        out, err, code = wine.run(program, ["-v-", "c"])
        check.equal("file applied, command line after it: exit code", code, 0)
        check.equal("file applied, command line after it: no message", err, "")
        lines = out.splitlines()
        check.equal("wide mode from the file, volume report from -v-",
                    [lines[0], lines[10].split(":")[0]],
                    ["              ドライブ名:C:", "  全ディスク容量"])

        os.remove(os.path.join(folder, "volsurvey.cfg"))
        program = install(folder, "Disk Survey.EXE", "Disk Survey.cfg", "/v\n/s\n", opts.exe)
        out, err, code = wine.run(program, ["c"])
        check.equal("another name: its own file applied", (out, err, code), ("", "", 0))

        program = install(folder, "vs.exe", "vs.cfg", "/v\n/x\n", opts.exe)
        out, err, code = wine.run(program, ["c"])
        check.equal("bad line: exit code", code, 1)
        check.equal("bad line: message names the file", err,
                    "\n\a処理停止:設定ファイル無効オプション  /x\n"
                    "※/?オプションで使用方法を表示します。\n\n")

        with open(os.path.join(folder, "vs.cfg"), "wb") as f:
            f.write(b"/v\r\n/s\n")
        out, err, code = wine.run(program, ["c"])
        windows_cfg = "Z:" + os.path.join(folder, "vs.cfg").replace("/", "\\")
        check.equal("mixed line ends: message with the real path", err,
                    f"\n\a処理停止:設定ファイル\"{windows_cfg}\"が異常です。"
                    "2行目に異なる改行コードを検出しました。\n")
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
