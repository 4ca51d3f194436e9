#!/usr/bin/env python3
"""The program on a Western Windows NT 4.0, 2000 or XP without East Asian
language support, which has no code page 932 at all.  ASCII needs no
conversion, so drive arguments, the current directory, the environment and
the program's own path (and the configuration file beside it) work as on
any other system; every other character shows as "?", and names built from
it still reach the system as they were written.

Wine has no code page 932 when its nls folder lacks c_932.nls.  The suite
therefore runs itself again in a mount namespace of its own, where a copy of
that folder without the file is bound over it, on a prefix of its own (a
Wine server started outside the namespace would still see the file).  Only
the build under test runs here: the other build's suite runs its own.
"""

import os
import shlex
import shutil
import subprocess
import sys
import tempfile

from report_model import Volume, drive_name_line, fatal, volume_lines
from test_program_path import expected_help
from winelib import (Checks, Wine, options, skip, volume_label_file, volume_serial_file,
                     windows_path)

NLS = "/usr/share/wine/nls"
HIDDEN = "c_932.nls"
INSIDE = "VOLSURVEY_WITHOUT_932"  # set for the run inside the namespace

# C: (the prefix's drive_c) with a label and serial number of its own.
LABEL_FILE, SERIAL_FILE = "WESTERN\n", "0932abcd\n"

# The program's folders: plain ASCII, a letter of the ANSI code page (1252),
# and one it lacks as well.
FOLDERS = ["tools", "José", "山田ツール"]


def ascii_shown(text):
    """Text as the program shows it without code page 932."""
    return "".join(ch if ord(ch) < 0x80 else "?" for ch in text)


def without_932(opts):
    """Runs this suite again where Wine's nls folder lacks c_932.nls; its
    exit code, or a skip where this machine cannot stage that."""
    if not os.path.exists(os.path.join(NLS, HIDDEN)):
        skip(f"Wine's code pages are not in {NLS}")
    copy = os.path.join(os.path.abspath(opts.mounts), "nls-without-932")
    if not os.path.isdir(copy):
        shutil.rmtree(copy + ".new", ignore_errors=True)
        shutil.copytree(NLS, copy + ".new")
        os.remove(os.path.join(copy + ".new", HIDDEN))
        os.replace(copy + ".new", copy)
    bind = f"mount --bind {shlex.quote(copy)} {NLS}"
    namespace = ["unshare", "-m", "--propagation", "private", "sh", "-c"]
    probe = subprocess.run(namespace + [bind], capture_output=True)
    if probe.returncode != 0:
        skip(f"cannot hide {HIDDEN} in a mount namespace here: "
             f"{probe.stderr.decode(errors='replace').strip()}")
    again = " ".join(shlex.quote(arg) for arg in [sys.executable] + sys.argv)
    return subprocess.run(namespace + [f"{bind} && exec {again}"],
                          env=dict(os.environ, **{INSIDE: "1"})).returncode


def install(folder, exe, config):
    os.makedirs(folder, exist_ok=True)
    program = os.path.join(folder, "volsurvey.exe")
    shutil.copy(exe, program)
    with open(os.path.join(folder, "volsurvey.cfg"), "wb") as f:
        f.write(config.encode("cp932"))
    return program


def config_lines(out):
    return [line for line in out.splitlines() if line.startswith(("・設定ファイル=", "・現在設定="))]


def cases(wine, check, exe, under):
    drive_c = os.path.join(wine.prefix, "drive_c")
    for name, text in ((".windows-label", LABEL_FILE), (".windows-serial", SERIAL_FILE)):
        with open(os.path.join(drive_c, name), "w") as f:
            f.write(text)
    wine.restart()  # Wine reads a label when its server starts
    volume = Volume(3, volume_label_file(LABEL_FILE), volume_serial_file(SERIAL_FILE), "NTFS")
    # What the configuration line /s leaves of a report of C:.
    c_volume = ("\n".join(volume_lines("C:", volume)) + "\n", "", 0)

    with tempfile.TemporaryDirectory(dir=under) as top:
        for folder_name in FOLDERS:
            folder = os.path.join(top, folder_name)
            program = install(folder, exe, "/s\r\n")
            what = f"program in {folder_name}"
            check.equal(f"{what}: volsurvey c, the file's /s applied", wine.run(program, ["c"]),
                        c_volume)
            check.equal(f"{what}: the current drive, the file's /s applied",
                        wine.run(program, [], cwd=drive_c), c_volume)
            out, err, code = wine.run(program, ["/?"])
            config = ascii_shown(windows_path(os.path.join(folder, "volsurvey.cfg")))
            check.equal(f"{what}: the help lists the file", (config_lines(out), err, code),
                        ([f"・設定ファイル={config}", "・現在設定=/s"], "", 1))
            if folder_name.isascii():
                help_text = expected_help(out, "volsurvey", config).replace(
                    "・現在設定=設定ファイルが存在しません。", "・現在設定=/s")
                check.equal(f"{what}: the help in full", out, help_text)

        program = install(os.path.join(top, "env"), exe, "%VSOPTION%\r\n")
        check.equal("an option from the environment applied",
                    wine.run(program, ["c"], env={"VSOPTION": "/s"}), c_volume)

    share = "\\\\server\\共有"
    shown = ascii_shown(share)
    check.equal("a share argument Shift-JIS cannot spell here", wine.run(exe, [share]),
                (drive_name_line(shown) + "\n", fatal(f"ドライブ({shown})を参照できません。"), 1))


def main():
    opts = options()
    if not os.environ.get(INSIDE):
        return without_932(opts)
    check = Checks()
    check.equal(f"Wine's {HIDDEN} is hidden", os.path.exists(os.path.join(NLS, HIDDEN)), False)
    # A prefix made where the file is hidden has no copy of it either.
    wine = Wine(opts.prefix + "-without-932", leave_out=[HIDDEN])
    os.makedirs(opts.mounts, exist_ok=True)
    cases(wine, check, os.path.abspath(opts.exe), os.path.abspath(opts.mounts))
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
