#!/usr/bin/env python3
"""The pause prompt on a real console: the Windows build under Wine inside an
80x25 tmux pane, answered with tmux send-keys and read with capture-pane;
and text whose bytes are no whole Shift-JIS characters, as a console shows
it."""

import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

from winelib import (HANG_TIMES, LOCALES, baseline_text, hang_guard, heap_errors_in, loader,
                     pe_bits, skip, start)

PROMPT = "(Continue,/All/Quit)"


class Pane:
    """The program on an 80x25 console.  Its standard error goes to the file
    log (a file of the pane's own if none is given): Wine's heap checks
    write their trace there, and the pane shows the console alone."""
    count = 0

    def __init__(self, wine, exe, args, locale=None, log=None, env=None, then=None, before=None):
        """then: a shell command the pane runs once the program has ended,
        as a user's next command would, before the exit code is known
        (it is $code); before: one the pane runs first.  The terminal, tmux,
        runs in the locale given too."""
        # A server of its own per pane: a server being killed cannot take a
        # new session.
        Pane.count += 1
        self.socket = f"volsurvey-{os.getpid()}-{Pane.count}"
        self.status = tempfile.mktemp(prefix="volsurvey-exit-")
        self.own_log = None if log else tempfile.mktemp(prefix="volsurvey-errors-")
        self.log = log or self.own_log
        self.written = None
        # Waits allow for the machine's pace: an empty program's start, just
        # measured, several times over.
        self.base = wine.baseline(pe_bits(exe))
        env = " ".join(f"{k}={shlex.quote(v)}" for k, v in wine.run_env(locale, env).items()
                       if k.startswith("WINE") or k in ("LANG", "LC_ALL"))
        words = " ".join(shlex.quote(word) for word in [exe] + list(args))
        command = (f"{before or ':'}; env {env} {loader(exe)} {words} "
                   f"2> {shlex.quote(self.log)}; code=$?; {then or ':'}; "
                   f"echo $code > {self.status}; sleep 600")
        self.tmux("new-session", "-d", "-x", "80", "-y", "25", command,
                  env=dict(os.environ, LC_ALL=locale) if locale else None)

    def tmux(self, *args, env=None):
        return subprocess.run(["tmux", "-u", "-L", self.socket] + list(args),
                              capture_output=True, text=True, check=True, env=env).stdout

    def rows(self):
        return self.tmux("capture-pane", "-p").split("\n")[:25]

    def wait_for(self, test, what, timeout=30):
        deadline = time.time() + hang_guard(timeout, self.base)
        while time.time() < deadline:
            rows = self.rows()
            if test(rows):
                return rows
            time.sleep(0.2)
        print(f"timed out waiting for {what} ({hang_guard(timeout, self.base):.0f} s: "
              f"{timeout} s beyond {HANG_TIMES} times the start, {baseline_text(self.base)}); "
              "the pane:")
        print("\n".join(self.rows()))
        return None

    def exit_code(self, timeout=30):
        deadline = time.time() + hang_guard(timeout, self.base)
        while time.time() < deadline:
            if os.path.exists(self.status) and open(self.status).read().strip():
                return int(open(self.status).read())
            time.sleep(0.2)
        return None

    def errors(self):
        """What the program wrote to its standard error, once it has ended,
        without Wine's heap trace; heap errors are kept for the next check."""
        if self.written is None:
            with open(self.log, "ab+") as f:
                f.seek(0)
                self.written = heap_errors_in(f.read())
        return self.written

    def close(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True)
        self.errors()
        for path in (self.status, self.own_log):
            if path and os.path.exists(path):
                os.remove(path)


def prompt_row(rows):
    found = [i for i, row in enumerate(rows) if row.startswith(PROMPT)]
    return found[0] if len(found) == 1 else None


def main():
    if subprocess.run(["which", "tmux"], capture_output=True).returncode != 0:
        skip("tmux is not installed")
    opts, wine, check = start()

    # Three reports of 18 lines each and two separators: 58 lines, two pages.
    pane = Pane(wine, opts.exe, ["c", "c", "c"])
    try:
        rows = pane.wait_for(lambda r: prompt_row(r) is not None, "the first prompt")
        if rows:
            check.equal("first prompt follows the 23rd line", prompt_row(rows), 23)
            check.equal("Japanese labels read right", rows[0], "              ドライブ名:C:")
            check.equal("the line before the prompt", rows[22].split(":")[0],
                        "ボリューム・シリアル番号")
        pane.tmux("send-keys", "x")
        rows = pane.wait_for(lambda r: prompt_row(r) == 24, "the second prompt")
        if rows:
            # The blanked prompt line was overwritten by the next line; the
            # window now holds the 24 lines of the second page.
            check.equal("prompt line overwritten", rows[0].split(":")[0],
                        "      ファイル名の最大長")
            check.equal("one prompt on the screen", sum(PROMPT in r for r in rows), 1)
        pane.tmux("send-keys", "a")
        check.equal("all: runs to the end with exit code 0", pane.exit_code(), 0)
        check.equal("all: no message", pane.errors(), b"")
        rows = pane.rows()
        check.equal("all: no prompt after the answer", sum(PROMPT in r for r in rows), 0)
    finally:
        pane.close()

    pane = Pane(wine, opts.exe, ["c", "c", "c"])
    try:
        rows = pane.wait_for(lambda r: prompt_row(r) is not None, "the first prompt")
        pane.tmux("send-keys", "q")
        check.equal("quit: exit code 1", pane.exit_code(), 1)
        check.equal("quit: no message", pane.errors(), b"")
        rows = pane.rows()
        check.equal("quit: the prompt is blanked", sum(PROMPT in r for r in rows), 0)
        check.equal("quit: nothing after the page", rows[22].split(":")[0],
                    "ボリューム・シリアル番号")
    finally:
        pane.close()

    # The Q and A keys in kana mode on a JIS keyboard, ﾀ and ﾁ, on a console
    # of an English and of a Japanese Windows.
    for locale in LOCALES:
        for key, code, what in (("ﾀ", 1, "quits"), ("ﾁ", 0, "stops the pausing")):
            pane = Pane(wine, opts.exe, ["c", "c", "c"], locale=locale)
            try:
                rows = pane.wait_for(lambda r: prompt_row(r) is not None, "the first prompt")
                if rows:
                    check.equal(f"Japanese reads right [{locale}]", rows[0],
                                "              ドライブ名:C:")
                pane.tmux("send-keys", key)
                check.equal(f"{key} {what} [{locale}]", pane.exit_code(), code)
                check.equal(f"{key}: no message [{locale}]", pane.errors(), b"")
                check.equal(f"{key}: no prompt left [{locale}]",
                            sum(PROMPT in r for r in pane.rows()), 0)
            finally:
                pane.close()
    listing_cases(wine, check, opts)
    return check.exit_code()


def listing_cases(wine, check, opts):
    """Configuration lines that end in a lead byte, listed by the help on a
    console: the lead byte shows as "?", and the blank between them and the
    line end after them stay, so the next line of the help starts a row of
    its own."""
    with tempfile.TemporaryDirectory(dir=os.path.abspath(opts.mounts)) as folder:
        program = os.path.join(folder, "volsurvey.exe")
        shutil.copy(opts.exe, program)
        with open(os.path.join(folder, "volsurvey.cfg"), "wb") as f:
            f.write(b"/v\x81\r\n/s\x81\r\n")
        for locale in LOCALES:
            pane = Pane(wine, program, ["/?"], locale=locale)
            try:
                pane.wait_for(lambda r: prompt_row(r) is not None, "the help's first prompt")
                pane.tmux("send-keys", "a")
                check.equal(f"help with lead bytes listed: exit code 1 [{locale}]",
                            pane.exit_code(), 1)
                rows = pane.rows()
                at = [i for i, row in enumerate(rows) if row.startswith("・現在設定=")]
                check.equal(f"help with lead bytes listed: the rows [{locale}]",
                            ([rows[i] for i in at], [rows[i + 1] for i in at if i + 1 < len(rows)]),
                            (["・現在設定=/v? /s?"], ["・スイッチ文字= / のみが使用可能。"]))
            finally:
                pane.close()


if __name__ == "__main__":
    sys.exit(main())
