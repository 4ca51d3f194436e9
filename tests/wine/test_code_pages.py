#!/usr/bin/env python3
"""The same program on an English and a Japanese Windows: Wine poses as one
or the other by the locale (ANSI code page 1252 and console 437, or 932),
and every case must give the same bytes in both, on both builds.

- The program in folders whose names hold Japanese, accented and Hangul
  letters, and under a Hangul file name: the configuration file beside it is
  found and applied, and the help names it with "?" for what Shift-JIS
  lacks.
- Volume labels in Japanese, in Hangul ("??") and in ASCII.
- Labels in the code pages of a Western and a Chinese system, as Windows
  98 and the NT family give them: the same "?" wherever Shift-JIS lacks a
  letter, no byte of the code page taken for Shift-JIS.
- A share argument in Japanese keeps its text in the message.
- A configuration reference to a variable with a Japanese value.
"""

import os
import shutil
import sys
import tempfile

from winelib import LOCALES, drive_suite, pe_bits, shown, start, windows_path

# Shows the options of the file beside the program: with both reports off a
# run prints nothing at all.
CONFIG = "/v\r\n/s\r\n"
FOLDERS = ["山田ツール", "José", "한글"]


def install(folder, exe, name, config):
    os.makedirs(folder, exist_ok=True)
    program = os.path.join(folder, name)
    shutil.copy(exe, program)
    with open(os.path.splitext(program)[0] + ".cfg", "wb") as f:
        f.write(config.encode("cp932"))
    return program


def in_both_locales(check, what, run, expected):
    """Runs run(locale) in each locale: each gives `expected`, all alike."""
    outputs = {locale: run(locale) for locale in LOCALES}
    for locale, output in outputs.items():
        check.equal(f"{what} [{locale}]", output, expected)
    first = outputs[LOCALES[0]]
    check.equal(f"{what}: the same in every locale", all(o == first for o in outputs.values()),
                True)


def help_lines(out, prefixes):
    return [line for line in out.splitlines() if line.startswith(prefixes)]


def usage_and_config(out):
    """The help's four usage lines (after the banner and an empty line) and
    its lines about the configuration file."""
    return out.splitlines()[4:8] + help_lines(out, ("・設定ファイル=", "・現在設定="))


def program_cases(wine, check, builds, under):
    with tempfile.TemporaryDirectory(dir=under) as top:
        places = [(os.path.join(top, name), "volsurvey.exe") for name in FOLDERS]
        places.append((os.path.join(top, "tools"), "볼륨.exe"))
        for bits, exe in sorted(builds.exes.items()):
            for folder, name in places:
                program = install(folder, exe, name, CONFIG)
                what = f"{os.path.basename(folder)}\\{name} [{bits}-bit]"
                in_both_locales(check, f"{what}: the file's options applied",
                                lambda loc: wine.run(program, ["c"], bits=bits, locale=loc),
                                ("", "", 0))
                stem = os.path.splitext(name)[0]
                config = shown(windows_path(os.path.join(folder, stem + ".cfg")))
                in_both_locales(
                    check, f"{what}: the help names the file",
                    lambda loc: usage_and_config(wine.run(program, ["/?"], bits=bits,
                                                          locale=loc)[0]),
                    [f"{shown(stem)} ［△オプション］",
                     f"{shown(stem)} ［△オプション］□ ドライブ名…",
                     f"{shown(stem)} ［△オプション］□ ドライブ文字…",
                     f"{shown(stem)} ［△オプション］□ \\\\コンピューター名\\共有名…",
                     f"・設定ファイル={config}", "・現在設定=/v /s"])
                shutil.rmtree(folder)

            # A reference to a variable whose value is Japanese.
            program = install(os.path.join(top, "env"), exe, "volsurvey.exe", "/%VSJP%\r\n")
            in_both_locales(
                check, f"Japanese environment value [{bits}-bit]",
                lambda loc: help_lines(wine.run(program, ["/?"], bits=bits, locale=loc,
                                                env={"VSJP": "データ"})[0], ("・現在設定=",)),
                ["・現在設定=/データ"])


LABELS = {"m": "データ", "n": "한글", "o": "DATA"}


def label_cases(wine, check, builds, mounts):
    for letter, label in LABELS.items():
        folder = mounts.tmpfs("1m")
        with open(os.path.join(folder, ".windows-label"), "w", encoding="utf-8") as f:
            f.write(label + "\n")
        wine.map_drive(letter, folder)
    wine.restart()  # Wine reads a label when its server starts
    for bits, exe in sorted(builds.exes.items()):
        in_both_locales(
            check, f"volume labels [{bits}-bit]",
            lambda loc: help_lines(wine.run(exe, ["/s"] + list(LABELS), bits=bits,
                                            locale=loc)[0], ("    ボリューム・ラベル名:",)),
            [f"    ボリューム・ラベル名:\"{shown(label)}\"" for label in LABELS.values()])


# Labels in a Western and a Chinese system's code page (1252 and 936), as
# Windows 98 gives them in that code page and the NT family in UTF-16: both
# show what Shift-JIS lacks as "?", whatever the bytes of the code page.
ANSI_LABELS = {"p": "Café", "q": "Montréal", "r": "数据库"}
ANSI_LOCALES = {"C.UTF-8": "cp1252", "zh_CN.UTF-8": "gbk"}


def ansi_label_cases(wine, check, builds, mounts, bits_under_test):
    for letter, label in ANSI_LABELS.items():
        folder = mounts.tmpfs("1m")
        with open(os.path.join(folder, ".windows-label"), "w", encoding="utf-8") as f:
            f.write(label + "\n")
        wine.map_drive(letter, folder)
    # No 64-bit Windows of the 95 family exists; the 32-bit build's suite
    # runs that mode.
    modes = [("NT", None, builds.bits())]
    if bits_under_test == 32:
        modes.append(("98", "win98", [32]))
    try:
        for mode, version, bits_list in modes:
            wine.configure(version=version)
            for bits in bits_list:
                for locale, codec in ANSI_LOCALES.items():
                    out = wine.run(builds.exes[bits], ["/s"] + list(ANSI_LABELS), bits=bits,
                                   locale=locale)[0]
                    # Windows 98 itself gives "?" for what its code page lacks.
                    labels = ANSI_LABELS.values() if mode == "NT" else (
                        label.encode(codec, errors="replace").decode(codec)
                        for label in ANSI_LABELS.values())
                    check.equal(f"labels in {codec}, {mode} [{bits}-bit, {locale}]",
                                help_lines(out, ("    ボリューム・ラベル名:",)),
                                [f"    ボリューム・ラベル名:\"{shown(label)}\"" for label in labels])
    finally:
        wine.configure(version=None)


def share_cases(wine, check, builds):
    share = "\\\\server\\共有"
    for bits, exe in sorted(builds.exes.items()):
        in_both_locales(check, f"Japanese share argument [{bits}-bit]",
                        lambda loc: wine.run(exe, [share], bits=bits, locale=loc),
                        (f"              ドライブ名:{share}\n",
                         f"\n\a処理停止:ドライブ({share})を参照できません。\n", 1))


def main():
    opts, wine, check = start()
    os.makedirs(opts.mounts, exist_ok=True)
    letters = list(LABELS) + list(ANSI_LABELS)
    with drive_suite(opts, wine, check, letters=letters) as (builds, mounts):
        program_cases(wine, check, builds, opts.mounts)
        share_cases(wine, check, builds)
        label_cases(wine, check, builds, mounts)
        ansi_label_cases(wine, check, builds, mounts, pe_bits(opts.exe))
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
