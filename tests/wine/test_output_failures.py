#!/usr/bin/env python3
"""A report that never reached its reader is no success: the real Windows
build, its standard output a full disk (/dev/full) or a pipe whose reader
takes one byte and goes away, ends with exit code 1 and says so, without
hanging; written to a file, it ends with 0 and says nothing.
"""

import subprocess
import sys
import tempfile

from winelib import loader, pe_bits, program_errors, start

LOST = "\n\a処理停止:標準出力に書き込めません。\n"
DRIVES = ["c"] * 300  # a report far longer than a pipe holds


def run(wine, exe, args, stdout, take=None, timeout=180):
    """(what the reader got, stderr, exit code) with standard output sent
    to `stdout`: a file object, or subprocess.PIPE read for `take` bytes."""
    # Standard error to a file: Wine's heap trace could fill a pipe before
    # the first byte reaches standard output.
    with tempfile.TemporaryFile() as errors:
        p = subprocess.Popen([loader(exe), exe] + args, env=wine.run_env(),
                             stdin=subprocess.DEVNULL, stdout=stdout, stderr=errors)
        taken = b""
        if stdout == subprocess.PIPE:
            taken = p.stdout.read(take)
            p.stdout.close()
        code = p.wait(timeout=timeout)
        errors.seek(0)
        return taken, program_errors(errors.read()), code


def main():
    opts, wine, check = start()
    bits = f"{pe_bits(opts.exe)}-bit"

    with open("/dev/full", "wb") as full:
        check.equal(f"report to a full disk [{bits}]", run(wine, opts.exe, ["c"], full),
                    (b"", LOST, 1))
        check.equal(f"help to a full disk [{bits}]", run(wine, opts.exe, ["/?"], full),
                    (b"", LOST, 1))
        check.equal(f"unreadable drive after a lost report [{bits}]",
                    run(wine, opts.exe, ["c", "q"], full),
                    (b"", "\n\a処理停止:ドライブ(Q:)を参照できません。\n" + LOST, 1))

    taken, err, code = run(wine, opts.exe, DRIVES, subprocess.PIPE, take=1)
    check.equal(f"reader gone after one byte, 300 reports [{bits}]", (len(taken), err, code),
                (1, LOST, 1))

    with tempfile.TemporaryFile() as f:
        _, err, code = run(wine, opts.exe, ["/s", "c"], f)
        f.seek(0)
        written = f.read().decode("cp932")
    check.equal(f"report to a file [{bits}]", (err, code), ("", 0))
    check.contains(f"report to a file is whole [{bits}]", written,
                   "アクセス制御リスト(ACL)の使用:")
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
