"""Runs the real Windows build under Wine, in a private prefix under build/.

Shared by the Wine checks: prefix creation (once, under a lock, so that the
win32 and win64 suites can share it), drive letters mapped to folders on
fixed-size tmpfs mounts, the Windows 98 mode, and decoding of the program's
Shift-JIS, CR LF output.
"""

import contextlib
import fcntl
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77  # ctest's SKIP_RETURN_CODE for these tests


def skip(reason):
    print(f"SKIP: {reason}")
    sys.exit(SKIP)


class Wine:
    def __init__(self, prefix):
        self.prefix = os.path.abspath(prefix)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LANG="C.UTF-8")
        self.env.pop("DISPLAY", None)
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        self._lock = open(self.prefix + ".lock", "w")
        # One suite at a time: they change the prefix's registry and drives.
        fcntl.flock(self._lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            self.command(["wineboot", "-i"], timeout=300)
            self.command(["wineserver", "-w"], timeout=120)
        self.set_version(None)

    def command(self, argv, timeout=120, check=True):
        result = subprocess.run(argv, env=self.env, capture_output=True, timeout=timeout)
        if check and result.returncode != 0:
            raise RuntimeError(f"{argv} failed: {result.stderr.decode(errors='replace')}")
        return result

    def restart(self):
        """Wine reads drive types and the version at the next start."""
        self.command(["wineserver", "-k"], check=False)
        self.command(["wineserver", "-w"], check=False)

    def set_version(self, version):
        """'win98' poses as Windows 98; None returns to Wine's default (NT)."""
        if version:
            self.command(["wine", "reg", "add", r"HKCU\Software\Wine", "/v", "Version",
                          "/d", version, "/f"])
        else:
            self.command(["wine", "reg", "delete", r"HKCU\Software\Wine", "/v", "Version",
                          "/f"], check=False)
        self.restart()

    def set_drive_type(self, letter, kind):
        """kind: hd, floppy, cdrom, network, ramdisk; None removes the entry."""
        key = r"HKLM\Software\Wine\Drives"
        name = letter.lower() + ":"
        if kind:
            self.command(["wine", "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", kind,
                          "/f", "/reg:64"])
        else:
            self.command(["wine", "reg", "delete", key, "/v", name, "/f", "/reg:64"],
                         check=False)

    def map_drive(self, letter, folder):
        link = os.path.join(self.prefix, "dosdevices", letter.lower() + ":")
        if os.path.lexists(link):
            os.remove(link)
        if folder:
            os.symlink(folder, link)

    def run(self, exe, args, timeout=60):
        """Runs exe with args; returns (stdout, stderr, exit code) as text,
        CR LF line ends turned into LF and Wine's own notes left out."""
        result = subprocess.run(["wine", exe] + args, env=self.env, capture_output=True,
                                stdin=subprocess.DEVNULL, timeout=timeout)
        out = result.stdout.decode("cp932")
        err = result.stderr.decode("cp932", errors="replace")
        if "\n" in out.replace("\r\n", ""):
            raise AssertionError(f"a bare LF in redirected output: {out!r}")
        err = "".join(line for line in err.replace("\r\n", "\n").splitlines(keepends=True)
                      if not line.startswith(("wine:", "fixme:", "err:", "warn:")))
        return out.replace("\r\n", "\n"), err, result.returncode


@contextlib.contextmanager
def tmpfs(size, under):
    """A fresh tmpfs of `size` (e.g. '64m') mounted in a folder of `under`;
    skips the test when this machine does not allow mounting."""
    os.makedirs(under, exist_ok=True)
    folder = tempfile.mkdtemp(dir=under)
    result = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", folder],
                            capture_output=True)
    if result.returncode != 0:
        os.rmdir(folder)
        skip(f"cannot mount a tmpfs here: {result.stderr.decode(errors='replace').strip()}")
    try:
        yield folder
    finally:
        subprocess.run(["umount", folder], capture_output=True)
        shutil.rmtree(folder, ignore_errors=True)


def statvfs_bytes(folder):
    """(total, available) bytes of the file system that holds folder."""
    s = os.statvfs(folder)
    return s.f_blocks * s.f_frsize, s.f_bavail * s.f_frsize


def capacity_text(count):
    """The capacity form of a byte count: 1.9G(2147188736), or 512."""
    for unit, size in (("G", 1 << 30), ("M", 1 << 20), ("K", 1 << 10)):
        if count >= size:
            return f"{count // size}.{count % size * 10 // size}{unit}({count})"
    return str(count)


class Checks:
    """Collects failures so that one run reports all of them."""

    def __init__(self):
        self.failures = 0

    def equal(self, what, actual, expected):
        if actual != expected:
            self.failures += 1
            print(f"FAIL {what}:\n  expected {expected!r}\n  actual   {actual!r}")
        else:
            print(f"ok   {what}")

    def contains(self, what, text, piece):
        if piece not in text:
            self.failures += 1
            print(f"FAIL {what}: {piece!r} not in:\n{text}")
        else:
            print(f"ok   {what}")

    def exit_code(self):
        return 1 if self.failures else 0
