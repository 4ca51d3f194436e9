"""Runs the real Windows build under Wine, in a private prefix under build/.

Shared by the Wine checks: prefix creation (once, under a lock, so that the
win32 and win64 suites can share it), drive letters mapped to folders on
fixed-size tmpfs mounts and to loop devices, drive types and the Windows 98
mode in one registry import, decoding of the program's Shift-JIS, CR LF
output, and the figures kernel32 gives under Wine for a mounted file system,
worked out from the mount itself.
"""

import argparse
import atexit
import contextlib
import fcntl
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass

import wine_heap

SKIP = 77  # ctest's SKIP_RETURN_CODE for these tests

# Seconds the Wine server and its services outlive the last program run: long
# enough to bridge the gaps between runs (a mount, an mkfs), short enough that
# nothing is left behind for long should a suite die without stopping them.
SERVER_LINGER = 30

DRIVE_TYPES = ("hd", "floppy", "cdrom", "network", "ramdisk")

# Time limits are about the program, not about how busy the machine is: each
# is measured against a baseline, the time an empty Windows program of the
# same bitness took to start and end the same way, just before (where 32-bit
# code runs under qemu-user on a crowded machine, that alone can take half a
# minute).  A run is told as slow past SLOW_TIMES that baseline; a guard
# against a run that hangs allows its own seconds plus HANG_TIMES it.
SLOW_TIMES = 5
HANG_TIMES = 4
# A baseline older than this is measured again before it is used.
BASELINE_AGE = 120

# Wine's heap checks, on for every program run: with its heap channel on,
# Wine 8 validates a block when it is freed or resized, reports damage as
# "err:heap:..." and stops the program at an assertion; its exit code may
# still be 1, so only those lines tell.  The channel also traces each heap
# call, a few hundred lines a run, on the standard error of the process.
HEAP_CHECKS = "-all,+heap"
# A line of Wine's heap channel, "[pid:]tid:class:heap:...".  Wine writes each
# line whole, but it may fall inside a line the program is writing to the
# same standard error, so it is looked for anywhere.
HEAP_LINE = re.compile(rb"(?:[0-9a-f]{4,8}:){1,2}(trace|warn|err|fixme):heap:[^\n]*(?:\n|$)")

# An English Windows (ANSI code page 1252, console 437) and a Japanese one
# (932 for both): what the program prints must not depend on which.
LOCALES = ("C.UTF-8", "ja_JP.UTF-8")

# Debian's `wine` starts every program through its 32-bit loader, which
# hands 64-bit ones on; the 64-bit loader runs 64-bit programs and Wine's
# own tools without any 32-bit code.
WINE32 = "/usr/lib/wine/wine" if os.path.exists("/usr/lib/wine/wine") else "wine"
WINE64 = "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine"


# A new prefix takes Wine 20 s and 14 s of CPU to make, and 1.3 GB; a copy
# of one made before takes a twentieth of a second (copy_prefix).  Every
# prefix of the checks (two for each build, the package's, the ones without
# code page 932) is a copy of this.
PREFIX_TEMPLATE = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "build", "wine-template")


def prefix_template(env):
    """PREFIX_TEMPLATE, made once, under a lock, by the first suite that
    needs it; never run in otherwise."""
    os.makedirs(os.path.dirname(PREFIX_TEMPLATE), exist_ok=True)
    with open(PREFIX_TEMPLATE + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(PREFIX_TEMPLATE, "system.reg")):
            whole_folder(PREFIX_TEMPLATE, lambda folder: made_prefix(env, folder))
    return PREFIX_TEMPLATE


DLL_FOLDERS = ("system32", "syswow64", "winsxs")


def copy_prefix(template, folder, leave_out=()):
    """A copy of the prefix template whose DLL folders, 1.2 GB that Wine
    fills when it makes a prefix and never writes again, are hard links;
    without the files named in leave_out there."""
    windows = os.path.join(template, "drive_c", "windows")
    linked = tuple(os.path.join(windows, name) + os.sep for name in DLL_FOLDERS)

    def copy(source, target):
        if source.startswith(linked):
            os.link(source, target)
        else:
            shutil.copy2(source, target)
    shutil.copytree(template, folder, symlinks=True, copy_function=copy)
    for name in leave_out:
        for dlls in DLL_FOLDERS:
            path = os.path.join(folder, "drive_c", "windows", dlls, name)
            if os.path.exists(path):
                os.remove(path)


def made_prefix(env, folder):
    env = dict(env, WINEPREFIX=folder)
    subprocess.run([WINE64, "wineboot", "-i"], env=env, capture_output=True, timeout=600,
                   check=True)
    subprocess.run(["wineserver", "-k"], env=env, capture_output=True, timeout=60)
    subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=120)


def whole_folder(folder, make):
    """Has make(path) fill a folder beside `folder`, which then takes its
    name: a run stopped half-way leaves no half-made prefix behind."""
    making = folder + ".new"
    for path in (making, folder):
        shutil.rmtree(path, ignore_errors=True)
    make(making)
    os.rename(making, folder)


# Set where the suites of both bitnesses run (scripts/test): a suite that
# the other build's suite runs for the pair, case by case on both builds,
# is not run a second time for this build alone.
PAIRS_RUN = "VOLSURVEY_PAIRS_RUN"


def skip(reason):
    print(f"SKIP: {reason}")
    sys.exit(SKIP)


class Wine:
    def __init__(self, prefix, leave_out=()):
        """A Wine server of its own on prefix, made as a copy of the
        template where it does not exist, without the files named in
        leave_out in its DLL folders."""
        self.prefix = os.path.abspath(prefix)
        # No debugger: a program that faults then ends at once with the
        # exception's code, rather than waiting for winedbg's report.
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d", LANG="C.UTF-8")
        self.env.pop("DISPLAY", None)
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        self._lock = open(self.prefix + ".lock", "w")
        # One suite at a time: they change the prefix's registry and drives.
        fcntl.flock(self._lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            whole_folder(self.prefix, lambda folder: copy_prefix(prefix_template(self.env),
                                                                 folder, leave_out))
        atexit.register(self.stop)
        self._baselines = {}
        # The drive types this suite wrote (letter: kind, None for none).
        self._drive_types = {}
        self._start()
        self.set_version(None)

    def command(self, argv, timeout=120, check=True):
        result = subprocess.run(argv, env=self.env, capture_output=True, timeout=timeout)
        if check and result.returncode != 0:
            raise RuntimeError(f"{argv} failed: {result.stderr.decode(errors='replace')}")
        return result

    def _start(self):
        # A server that stays up between runs, its services started with no
        # pipe of ours: a run then takes a tenth of a second, where a run that
        # boots Wine itself waits seconds for those services to let go of its
        # output pipes.
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, env=self.env)
        subprocess.run(["wineserver", f"-p{SERVER_LINGER}"], timeout=60, **quiet)
        subprocess.run([WINE64, "wineboot"], timeout=300, **quiet)
        self._current = True

    def baseline(self, bits, fresh=False):
        """The Baseline of programs of that bitness: measured now when fresh,
        else when the last is older than BASELINE_AGE.  None where no empty
        program of that bitness is known (see empty_programs)."""
        empty = EMPTY_PROGRAMS.get(bits)
        if not empty:
            return None
        last = self._baselines.get(bits)
        if fresh or not last or time.monotonic() - last.when > BASELINE_AGE:
            started = time.monotonic()
            subprocess.run([loader(empty, bits), empty, "none"], env=self.run_env(),
                           capture_output=True, stdin=subprocess.DEVNULL, timeout=600)
            now = time.monotonic()
            last = self._baselines[bits] = Baseline(bits, now - started, now)
        return last

    def run_env(self, locale=None, env=None):
        """The environment of a program run: Wine takes the code pages of
        the Windows it poses as from LC_ALL.  Wine's heap checks are on
        (HEAP_CHECKS), and stay on beside channels that env's WINEDEBUG
        turns on."""
        result = dict(self.env, **(env or {}))
        result["WINEDEBUG"] = ",".join(filter(None, [HEAP_CHECKS, (env or {}).get("WINEDEBUG")]))
        if locale:
            result["LC_ALL"] = locale
        return result

    def stop(self):
        """Ends this prefix's server and every program of it."""
        self.command(["wineserver", "-k"], check=False)
        self.command(["wineserver", "-w"], check=False)
        self._current = False

    def _take_effect(self):
        """Restarts Wine where its server no longer runs, or its mount
        manager, which reads the drives and their types when it starts, has
        not seen the latest of them.  The version needs no restart: each
        program reads it when it starts.  A restart costs two seconds, and
        where 32-bit code runs under qemu-user, as much of a core."""
        if not self._current:
            self.restart()

    def forget_drives(self, letters):
        """Removes the letters' folders, devices and drive types, and stops
        Wine, so that nothing of it holds a mount or a device any longer."""
        for letter in letters:
            self.map_drive(letter, None)
            self.map_device(letter, None)
        self.configure({letter: None for letter in letters})
        self.stop()

    def restart(self):
        """Starts Wine anew: its mount manager then reads the drives and
        their types, and the volumes' labels."""
        with told_if_slow("Wine's restart", self._baselines.get(32) or self._baselines.get(64)):
            self.stop()
            self._start()

    def set_version(self, version):
        """'win98' poses as Windows 98; None returns to Wine's default (NT)."""
        if version:
            self.command([WINE64, "reg", "add", r"HKCU\Software\Wine", "/v", "Version",
                          "/d", version, "/f"])
        elif self.command([WINE64, "reg", "delete", r"HKCU\Software\Wine", "/v", "Version",
                           "/f"], check=False).returncode != 0:
            return
        self._take_effect()

    def set_drive_type(self, letter, kind):
        """kind: hd, floppy, cdrom, network, ramdisk; None removes the entry."""
        key = r"HKLM\Software\Wine\Drives"
        name = letter.lower() + ":"
        self._note_drive_type(letter, kind)
        if kind:
            self.command([WINE64, "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", kind,
                          "/f", "/reg:64"])
        else:
            self.command([WINE64, "reg", "delete", key, "/v", name, "/f", "/reg:64"],
                         check=False)

    def _note_drive_type(self, letter, kind):
        letter = letter.lower()
        if letter not in self._drive_types or self._drive_types[letter] != kind:
            self._current = False
        self._drive_types[letter] = kind

    def configure(self, drive_types=None, version=None):
        """Sets drive types (letter: kind, or None to remove the entry) and
        the version ('win98', or None for Wine's default, the NT family) in
        one registry import, then restarts Wine where that is needed for
        them to take effect (_take_effect)."""
        lines = ["Windows Registry Editor Version 5.00", "",
                 r"[HKEY_CURRENT_USER\Software\Wine]",
                 f'"Version"="{version}"' if version else '"Version"=-', ""]
        if drive_types:
            lines.append(r"[HKEY_LOCAL_MACHINE\Software\Wine\Drives]")
            for letter, kind in sorted(drive_types.items()):
                if kind is not None and kind not in DRIVE_TYPES:
                    raise ValueError(f"no such drive type: {kind}")
                name = letter.lower() + ":"
                lines.append(f'"{name}"="{kind}"' if kind else f'"{name}"=-')
                self._note_drive_type(letter, kind)
            lines.append("")
        with tempfile.NamedTemporaryFile("w", suffix=".reg", dir=os.path.dirname(self.prefix),
                                         encoding="utf-16", newline="\r\n",
                                         delete=False) as f:
            f.write("\n".join(lines) + "\n")
        try:
            # The drive types are read from the 64-bit view only.
            argv = [WINE64, "reg", "import", windows_path(f.name), "/reg:64"]
            result = self.command(argv, check=False)
            if result.returncode != 0:
                # Seen once in many hundred imports, right after a suite's
                # own Windows programs ended, with nothing on standard
                # error: told, and tried once more on a server started anew.
                print(f"     Wine's reg import failed (exit code {result.returncode}); "
                      "trying once more")
                self.restart()
                self.command(argv)
        finally:
            os.remove(f.name)
        self._take_effect()

    def map_drive(self, letter, folder):
        """Maps a letter to a folder; None removes the mapping.  A folder
        that does not exist is mapped all the same (a drive without its
        medium)."""
        self._link(letter.lower() + ":", folder)

    def map_device(self, letter, device):
        """The Unix device behind a letter, read by Wine at its next start for
        the volume's label, serial number and file system; None removes it."""
        self._link(letter.lower() + "::", device)

    def map_share(self, server, share, folder):
        """A \\\\server\\share that Wine's UNC handling finds; None removes it."""
        self._link(os.path.join("unc", server.lower(), share.lower()), folder)

    def map_dos_device(self, name, folder):
        """\\\\.\\name (the NT name \\??\\name) as a folder, found the way a
        drive letter's is; None removes it.  Unlike \\\\server\\share, Wine
        reads the volume of such a root (of the drive whose folder it is)."""
        self._link(name.lower(), folder)

    def _link(self, name, target):
        devices = os.path.join(self.prefix, "dosdevices")
        link = os.path.join(devices, name)
        self._current = False
        if os.path.lexists(link):
            os.remove(link)
        if target:
            os.makedirs(os.path.dirname(link), exist_ok=True)
            os.symlink(target, link)
            return
        # Leave no empty dosdevices/unc/server behind.
        folder = os.path.dirname(link)
        while folder != devices and os.path.isdir(folder) and not os.listdir(folder):
            os.rmdir(folder)
            folder = os.path.dirname(folder)

    def run(self, exe, args, timeout=60, cwd=None, bits=None, locale=None, env=None,
            output=None, wrapper=(), monitor=False):
        """Runs exe with args; returns (stdout, stderr, exit code) as text,
        CR LF line ends turned into LF and Wine's own notes left out.  bits
        names the program's bitness where exe is a Windows path; locale (a
        Linux locale, e.g. ja_JP.UTF-8) sets the system's code pages; env
        adds variables; wrapper is a command that Wine's loader runs under
        (strace and its options); monitor, for /m, reads the output as the
        monitoring answer (see redirected_output); output, where given,
        turns the standard output's bytes into what is returned instead."""
        environment = self.run_env(locale, env)
        if bits is None and os.path.exists(exe):
            bits = pe_bits(exe)
        base = self.baseline(bits)

        def once():
            with told_if_slow(f"the run of {os.path.basename(exe)} {' '.join(args)}", base):
                try:
                    result = subprocess.run(list(wrapper) + [loader(exe, bits), exe] + args,
                                            env=environment, capture_output=True,
                                            stdin=subprocess.DEVNULL,
                                            timeout=hang_guard(timeout, base), cwd=cwd)
                except subprocess.TimeoutExpired as e:
                    # Wine that found its process heap damaged asserts again
                    # and again and never ends: such a run is told by its
                    # heap errors (exit code None), any other hang raises.
                    if not heap_lines(e.stderr or b"")[1]:
                        raise
                    result = subprocess.CompletedProcess(e.cmd, None, e.output or b"",
                                                         e.stderr)
            return result, result.stderr

        result = unless_wines_own(once, exe, environment)
        out = output(result.stdout) if output else redirected_output(result.stdout, monitor)
        err = program_errors(result.stderr)
        if not out and not err and result.returncode not in (0, None):
            # A run that failed without a word of its own: what Wine wrote,
            # so that a failing check shows whether the program ran at all.
            # (program_errors has kept its heap errors for the next check.)
            wine_lines = heap_lines(result.stderr)[0].decode("cp932", errors="replace")
            for line in wine_lines.splitlines()[-10:]:
                print(f"     Wine said: {line.rstrip()}")
        return out, err, result.returncode


def unless_wines_own(once, exe, environment):
    """once() runs the program and returns (its result, its standard error);
    a run whose heap damage is proven Wine's own (wine_heap) is told, with
    the proof, and run once more.  The second run stands, damaged or not."""
    result, stderr = once()
    _, errors = heap_lines(stderr)
    if not errors or not os.path.exists(exe):
        return result
    keep = os.environ.get("VOLSURVEY_HEAP_LOGS")
    if keep:
        # The whole trace of a damaged run, for finding whose write it was.
        os.makedirs(keep, exist_ok=True)
        with tempfile.NamedTemporaryFile(dir=keep, prefix="heap-", suffix=".log",
                                         delete=False) as f:
            f.write(stderr)
    found = wine_heap.verdict(stderr, errors, wine_heap.imported_functions(exe),
                              wine_heap.environment_floor(environment))
    if not found.wines_own:
        print(f"     heap damage not proven Wine's own, so the program's: {found.reason}")
        return result
    print(f"     Wine's own heap damage, not the program's: {errors[0]}\n"
          f"       ({found.reason}); the run is tried once more")
    return once()[0]


@dataclass
class Baseline:
    """An empty program's run: its bitness, the seconds it took and when it
    ended (time.monotonic())."""
    bits: int
    seconds: float
    when: float

    def told(self):
        return (f"an empty {self.bits}-bit program started the same way took "
                f"{self.seconds:.1f} s, {time.monotonic() - self.when:.0f} s before")


# bits -> the empty program (planted_faults.exe, run as "planted_faults none")
# built beside the programs under test; filled in by options().
EMPTY_PROGRAMS = {}


def empty_programs(*exes):
    """Registers the empty program beside each of the programs under test."""
    for exe in filter(None, exes):
        empty = os.path.join(os.path.dirname(os.path.abspath(exe)), "planted_faults.exe")
        if os.path.exists(exe) and os.path.exists(empty):
            EMPTY_PROGRAMS.setdefault(pe_bits(exe), empty)


def hang_guard(seconds, base):
    """The time after which a run taken to hang is ended: its own seconds,
    plus HANG_TIMES the baseline."""
    return seconds + (HANG_TIMES * base.seconds if base else 0)


def start_seconds(base):
    """What a timed check allows for a program's start and end beyond its
    own work: the baseline's seconds."""
    return base.seconds if base else 0.0


def baseline_text(base):
    return base.told() if base else "no baseline measured"


def slow_limit(base):
    return max(10, SLOW_TIMES * base.seconds) if base else 10


@contextlib.contextmanager
def told_if_slow(what, base=None):
    """Logs a step that took far longer than such steps take (a run, a
    restart: a few times an empty program's run, the baseline), so that a
    suite that was slow, or that failed after a wait, says where the time
    went and against what it was slow."""
    began = time.monotonic()
    yield
    took = time.monotonic() - began
    if took > slow_limit(base):
        print(f"     slow: {what} took {took:.1f} s ({baseline_text(base)})")


def redirected_output(stdout, monitor=False):
    """A program's redirected standard output as text: every line end must
    be CR LF, which becomes LF; the monitoring answer of /m (monitor) is
    UTF-8, its lines ended with LF alone."""
    if monitor:
        out = stdout.decode("utf-8")
        if "\r" in out:
            raise AssertionError(f"a CR in the monitoring answer: {out!r}")
        return out
    out = stdout.decode("cp932")
    if "\n" in out.replace("\r\n", ""):
        raise AssertionError(f"a bare LF in redirected output: {out!r}")
    return out.replace("\r\n", "\n")


def heap_lines(data):
    """(data without the lines of Wine's heap channel, its errors among them
    as text)."""
    errors = [m.group(0).decode(errors="replace").rstrip("\n")
              for m in HEAP_LINE.finditer(data) if m.group(1) == b"err"]
    return HEAP_LINE.sub(b"", data), errors


_heap_errors = []


def heap_errors_in(stderr):
    """The standard error of a run (or a trace file's bytes) without the
    lines of Wine's heap channel; the errors among them are kept for the
    next check (Checks) to fail with."""
    rest, errors = heap_lines(stderr)
    _heap_errors.extend(errors)
    return rest


def take_heap_errors():
    """The heap errors Wine reported since the last call."""
    found = _heap_errors[:]
    del _heap_errors[:]
    return found


def program_errors(stderr):
    """A program's standard error as text, CR LF turned into LF, with the
    notes Wine itself writes there left out (heap errors are kept for the
    next check)."""
    stderr = heap_errors_in(stderr)
    err = stderr.decode("cp932", errors="replace").replace("\r\n", "\n")
    lines = err.splitlines(keepends=True)
    # Wine says "wine:" only when it could not start or run the program (an
    # unhandled exception, a lost server): shown, so that a check failing
    # for it says why.
    for line in lines:
        if line.startswith("wine:"):
            print(f"     Wine said: {line.rstrip()}")
    return "".join(line for line in lines
                   if not line.startswith(("wine:", "fixme:", "err:", "warn:")))


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
        unmount(folder)


def unmount(folder):
    """Unmounts and removes a mount folder; a mount still busy is detached
    lazily, so that nothing stays mounted after a run."""
    if subprocess.run(["umount", folder], capture_output=True).returncode != 0:
        subprocess.run(["umount", "-l", folder], capture_output=True)
    shutil.rmtree(folder, ignore_errors=True)


class Refused(Exception):
    """This machine does not allow a mount or a loop device."""


class Mounts:
    """Mounts and loop devices made for one suite, all undone by close(),
    in reverse order, whatever happened in between."""

    def __init__(self, under):
        # Absolute: Wine's drive links are read from their own folder.
        self.under = os.path.abspath(under)
        os.makedirs(self.under, exist_ok=True)
        self._undo = []
        self._sweep()

    def _sweep(self):
        """Undoes what a suite killed before its clean-up left under this
        folder: loop devices of its images first, then its mounts."""
        prefix = self.under + os.sep
        loops = subprocess.run(["losetup", "--list", "--noheadings", "--output",
                                "NAME,BACK-FILE"], capture_output=True, text=True)
        for line in loops.stdout.splitlines():
            fields = line.split(None, 1)
            if len(fields) == 2 and fields[1].strip().startswith(prefix):
                subprocess.run(["losetup", "--detach", fields[0]], capture_output=True)
        for point in sorted((p for p in mount_points() if p.startswith(prefix)), reverse=True):
            unmount(point)

    def _folder(self):
        return tempfile.mkdtemp(dir=self.under)

    def tmpfs(self, size):
        """A fresh tmpfs of `size` (e.g. '64m'); Refused when not allowed."""
        return self.mount(["-t", "tmpfs", "-o", f"size={size}", "tmpfs"], "a tmpfs")

    def mount(self, source_args, what):
        return self.mount_with(["mount"] + source_args, what)

    def fat_volume(self, device, what):
        """The FAT volume on device, mounted: through the kernel's own driver,
        or, where the kernel has none, through FUSE (fusefat, read-only)."""
        try:
            return self.mount(["-t", "vfat", device], what)
        except Refused as kernel:
            try:
                return self.mount_with(["fusefat", "-o", "ro", device], what + " through FUSE")
            except Refused as fuse:
                raise Refused(f"{kernel}; {fuse}") from None

    def mount_with(self, command, what):
        """A fresh folder with something mounted on it by command, which
        takes the folder last (mount itself, or a FUSE file system)."""
        folder = self._folder()
        try:
            result = subprocess.run(command + [folder], capture_output=True, timeout=60)
        except OSError as e:
            result = subprocess.CompletedProcess(command, 1, b"", str(e).encode())
        if result.returncode != 0:
            os.rmdir(folder)
            raise Refused(f"cannot mount {what} here: {one_line(result.stderr)}")
        self._undo.append(lambda: unmount(folder))
        return folder

    def loop_device(self, image):
        """The image attached to a free loop device; Refused when not allowed."""
        result = subprocess.run(["losetup", "--find", "--show", image], capture_output=True)
        if result.returncode != 0:
            raise Refused(f"cannot attach a loop device here: {one_line(result.stderr)}")
        device = result.stdout.decode().strip()
        self._undo.append(lambda: subprocess.run(["losetup", "--detach", device],
                                                 capture_output=True))
        return device

    def stall_fs(self, label, block_size=4096, blocks=16384, free=4096, serial=None):
        """A fresh stallfs mount (tests/wine/stallfs.c, compiled into the
        build folder beside this one the first time): a root with a
        .windows-label holding label and, when given, a .windows-serial,
        whose statfs answers the figures given, at once until told otherwise
        (see StallFs).  Refused where FUSE cannot be used."""
        binary = build_fuse_program(os.path.dirname(self.under), "stallfs")
        handle, control = tempfile.mkstemp(dir=self.under, suffix=".control")
        os.close(handle)
        folder = self._folder()
        fs = StallFs(folder, control)
        fs.ok()
        try:
            # Appended to, whatever the reader does meanwhile.
            with open(fs.log, "ab") as log:
                # In the foreground: the process is the server, stopped by
                # its id.
                fs.process = subprocess.Popen([binary, control, str(block_size), str(blocks),
                                               str(free), label, serial or "-", folder, "-f"],
                                              stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        except OSError as e:
            for path in (fs.log, control):
                os.remove(path)
            os.rmdir(folder)
            raise Refused(f"cannot start stallfs: {e}") from None
        self._undo.append(fs.close)
        deadline = time.monotonic() + 10
        while not is_mount_point(folder):
            if fs.process.poll() is not None or time.monotonic() > deadline:
                raise Refused(f"cannot mount stallfs here: {one_line(fs.log_text())}")
            time.sleep(0.05)
        return fs

    def long_names(self, files):
        """A fresh longnamefs mount (tests/wine/longnamefs.c) whose root holds
        files (name: host file) under names of any length up to 1024 bytes,
        as NTFS holds them; Refused where FUSE cannot be used."""
        binary = build_fuse_program(os.path.dirname(self.under), "longnamefs")
        folder = self._folder()
        arguments = [binary, folder]
        for name, source in files.items():
            arguments += [name, os.path.abspath(source)]
        with tempfile.TemporaryFile() as log:
            server = subprocess.Popen(arguments, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
            deadline = time.monotonic() + 10
            while not is_mount_point(folder):
                if server.poll() is not None or time.monotonic() > deadline:
                    server.kill()
                    server.wait()
                    os.rmdir(folder)
                    log.seek(0)
                    raise Refused(f"cannot mount longnamefs here: {one_line(log.read())}")
                time.sleep(0.05)

        def close():
            if subprocess.run(["fusermount", "-u", folder], capture_output=True).returncode != 0:
                subprocess.run(["fusermount", "-u", "-z", folder], capture_output=True)
            try:
                server.wait(timeout=5)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()
            shutil.rmtree(folder, ignore_errors=True)

        self._undo.append(close)
        return folder

    def missing_folder(self):
        """A path under the mounts folder where nothing exists."""
        path = os.path.join(self._folder(), "gone")
        self._undo.append(lambda: shutil.rmtree(os.path.dirname(path), ignore_errors=True))
        return path

    def close(self):
        while self._undo:
            self._undo.pop()()


def build_fuse_program(folder, name):
    """tests/wine/NAME.c (stallfs, longnamefs) built into folder, compiled
    again only when its source is newer; Refused where the FUSE library and
    its headers are missing."""
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), name + ".c")
    binary = os.path.join(folder, name)
    if os.path.exists(binary) and os.path.getmtime(binary) >= os.path.getmtime(source):
        return binary
    try:
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "fuse"], capture_output=True)
    except OSError as e:
        raise Refused(f"cannot build {name}: {e}") from None
    if flags.returncode != 0:
        raise Refused(f"cannot build {name} (libfuse-dev?): {one_line(flags.stderr)}")
    os.makedirs(folder, exist_ok=True)
    # Two suites of one build may build it at once.
    building = f"{binary}.{os.getpid()}.new"
    subprocess.run(["cc", "-std=gnu11", "-O2", "-Wall", "-Wextra", "-Werror", source,
                    "-o", building] + flags.stdout.decode().split(), check=True)
    os.replace(building, binary)
    return binary


def mount_points():
    with open("/proc/self/mounts") as f:
        return [line.split()[1] for line in f]


def is_mount_point(folder):
    return folder in mount_points()


class StallFs:
    """A mounted stallfs: folder is the mount, and ok(), stall() and
    delay(ms) say how its statfs answers from the next request on (a
    statfs already stalled answers once it is ok again); with after=N the
    next N requests are still answered at once."""

    def __init__(self, folder, control):
        self.folder = folder
        self.control = control
        self.log = control[:-len(".control")] + ".log"
        self.process = None

    def ok(self):
        self._tell("ok")

    def stall(self, after=0):
        self._tell("stall", after)

    def delay(self, ms, after=0):
        self._tell(f"delay {int(ms)}", after)

    def _tell(self, mode, after=0):
        if after:
            mode = f"after {int(after)} {mode}"
        # Whole or not at all: the server may read it at any moment.
        with open(self.control + ".new", "w") as f:
            f.write(mode + "\n")
        os.replace(self.control + ".new", self.control)

    def log_text(self):
        """What the server has logged: one line per statfs and how it ended."""
        with open(self.log, "rb") as f:
            return f.read()

    def close(self):
        """Answers any waiting statfs, unmounts (lazily while still busy) and
        ends the server."""
        try:
            self.ok()
            if self.process.poll() is None:
                if subprocess.run(["fusermount", "-u", self.folder],
                                  capture_output=True).returncode != 0:
                    subprocess.run(["fusermount", "-u", "-z", self.folder], capture_output=True)
                try:
                    self.process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    # Ending the server ends its connection, and every
                    # request still waiting on it with an error.
                    self.process.send_signal(signal.SIGTERM)
                    try:
                        self.process.wait(timeout=5)
                    except subprocess.TimeoutExpired:
                        self.process.kill()
                        self.process.wait()
            if is_mount_point(self.folder):
                unmount(self.folder)
        finally:
            for path in (self.control, self.control + ".new", self.log):
                if os.path.exists(path):
                    os.remove(path)
            shutil.rmtree(self.folder, ignore_errors=True)


@dataclass
class MadeDrive:
    """A drive a suite makes: its letter, Wine's drive type for it (see
    DRIVE_TYPES), what holds it ("tmpfs", "stallfs", or "missing": a folder
    that does not exist) and the texts of its .windows-label and
    .windows-serial."""
    letter: str
    kind: str
    source: str
    label_file: str = ""
    serial_file: str = ""


def make_drive(drive, mounts, wine):
    """Makes the drive's folder (a 64 MiB tmpfs or a stallfs mount holding
    its label and serial, or nothing) and maps its letter to it: (folder,
    StallFs or None)."""
    fs = None
    if drive.source == "missing":
        folder = mounts.missing_folder()
    elif drive.source == "stallfs":
        fs = mounts.stall_fs(drive.label_file, serial=drive.serial_file)
        folder = fs.folder
    else:
        folder = mounts.tmpfs("64m")
        for name, text in ((".windows-label", drive.label_file),
                           (".windows-serial", drive.serial_file)):
            with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
                f.write(text)
    wine.map_drive(drive.letter, folder)
    return folder, fs


def fill(folder, free_blocks):
    """Takes a tmpfs's space with one file until free_blocks are left;
    returns the blocks left."""
    s = os.statvfs(folder)
    with open(os.path.join(folder, "filler"), "wb") as f:
        os.posix_fallocate(f.fileno(), 0, (s.f_bavail - free_blocks) * s.f_frsize)
    return os.statvfs(folder).f_bavail


def make_drives(drives, mounts, wine, check, free_blocks):
    """Makes each drive (make_drive), those whose letters free_blocks names
    filled until that many blocks are left (checked): letter -> StallFs of
    the drives served by stallfs."""
    stallfs = {}
    for drive in drives:
        folder, fs = make_drive(drive, mounts, wine)
        if fs:
            stallfs[drive.letter] = fs
        if drive.letter in free_blocks:
            check.equal(f"{drive.letter}: filled", fill(folder, free_blocks[drive.letter]),
                        free_blocks[drive.letter])
    return stallfs


def each_mode_held(wine, holder, modes, drives, stallfs):
    """Goes through the modes (as start_held gives them), the drives' types
    and the mode's version set for each, and the stallfs drives held open
    by holder from Wine's start on, while they still answer (opening a
    drive is what makes Wine's server ask it): yields each mode's name."""
    for mode, version in modes:
        wine.configure({drive.letter: drive.kind for drive in drives}, version=version)
        with contextlib.ExitStack() as held:
            for letter in stallfs:
                held.enter_context(holding(wine, holder, letter))
            yield mode


@contextlib.contextmanager
def holding(wine, holder, letter, timeout=30):
    """For the time of the block, tests/wine/hold_drive.exe (the path
    holder) keeps the root of letter open, so that Wine's server no longer
    asks the drive's file system anything when a program opens a file of
    it; the block starts once the handle is open."""
    with tempfile.TemporaryFile() as errors:
        process = subprocess.Popen([loader(holder), holder, letter.upper() + ":\\"],
                                   env=wine.run_env(), stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=errors)
        try:
            line = read_line(process.stdout, timeout)
            if line.strip() != b"held":
                errors.seek(0)
                raise RuntimeError(f"hold_drive {letter}: answered {line!r}: "
                                   f"{one_line(errors.read())}")
            yield process
        finally:
            # Its standard input closed, the holder ends by itself.
            process.stdin.close()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
            process.stdout.close()


def read_line(stream, timeout):
    """One line from a pipe, or what came before the time-out or its end."""
    line = b""
    deadline = time.monotonic() + timeout
    while not line.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([stream], [], [], left)[0]:
            break
        piece = os.read(stream.fileno(), 1)
        if not piece:
            break
        line += piece
    return line


def wine_processes(wine, name):
    """(pid, command line) of the processes of wine's prefix whose command
    line holds name."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                environ = f.read().split(b"\0")
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
        except OSError:
            continue
        if b"WINEPREFIX=" + wine.prefix.encode() in environ and name in command:
            found.append((int(pid), command))
    return found


def run_to_file(wine, exe, args, timeout, locale=None, output=None):
    """Runs the program with its standard output a file, as `> out.txt`
    does: (stdout, stderr, exit code, seconds taken), in the locale given
    and the standard output turned by output (see Wine.run).  A run still
    going after timeout seconds is killed, and its exit code is None."""
    environment = wine.run_env(locale)
    timeout = hang_guard(timeout, wine.baseline(pe_bits(exe)))

    def once():
        with tempfile.TemporaryFile() as out:
            started = time.monotonic()
            process = subprocess.Popen([loader(exe), exe] + args, env=environment,
                                       stdin=subprocess.DEVNULL, stdout=out,
                                       stderr=subprocess.PIPE)
            try:
                _, err = process.communicate(timeout=timeout)
                code = process.returncode
            except subprocess.TimeoutExpired:
                process.kill()
                _, err = process.communicate()
                code = None
            seconds = time.monotonic() - started
            out.seek(0)
            return (out.read(), err, code, seconds), err

    out, err, code, seconds = unless_wines_own(once, exe, environment)
    return (output or redirected_output)(out), program_errors(err), code, seconds


def host_free(wine, made):
    """The free bytes Linux gives for the folders behind the prefix's
    drives other than the letters made (C: and Z:, whose free space other
    programs of the machine change between two runs): name -> bytes."""
    free = {}
    for link in os.listdir(os.path.join(wine.prefix, "dosdevices")):
        if re.fullmatch(r"[a-z]:", link) and link[0].upper() not in made:
            folder = os.path.realpath(os.path.join(wine.prefix, "dosdevices", link))
            free[link.upper()] = statvfs_bytes(folder)[1]
    return free


def one_line(message):
    return " ".join(message.decode(errors="replace").split())


def shown(text):
    """Text as the program shows it: "?" for each character Shift-JIS lacks."""
    out = []
    for ch in text:
        try:
            ch.encode("cp932")
            out.append(ch)
        except UnicodeEncodeError:
            out.append("?")
    return "".join(out)


def windows_path(path):
    """The path of a Unix file as Wine's Z: drive shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


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


def size_text(count):
    """The size form of a byte count: 4K(4096), or 512."""
    for unit, size in (("G", 1 << 30), ("M", 1 << 20), ("K", 1 << 10)):
        if count >= size:
            return f"{count // size}{unit}({count})"
    return str(count)


# --- What kernel32 answers under Wine, worked out from the mount -------------

def wine_disk_units(folder):
    """The allocation units Wine sees on the file system that holds folder:
    (sectors per cluster, bytes per sector, free clusters, total clusters),
    the counts in full; GetDiskFreeSpace of the NT family gives their low 32
    bits.  Wine counts in clusters of 8 sectors of 512 bytes, except on a
    file system of 2048-byte blocks, which it takes for a CD."""
    s = os.statvfs(folder)
    bytes_per_sector, sectors_per_cluster = (2048, 1) if s.f_bsize == 2048 else (512, 8)
    cluster = bytes_per_sector * sectors_per_cluster
    return (sectors_per_cluster, bytes_per_sector,
            s.f_bsize * s.f_bavail // cluster, s.f_bsize * s.f_blocks // cluster)


def win9x_disk_units(units):
    """The same answer as the Windows 95 family gives it: capped at 2 GB and
    at 65535 clusters, the cluster growing instead."""
    sectors_per_cluster, bytes_per_sector, free, total = units
    cluster = sectors_per_cluster * bytes_per_sector
    if total * cluster > 0x7FFFFFFF:
        total = 0x7FFFFFFF // cluster
        if free * cluster > 0x7FFFFFFF:
            free = 0x7FFFFFFF // cluster
    while total > 65535:
        total //= 2
        free //= 2
        sectors_per_cluster *= 2
    return sectors_per_cluster, bytes_per_sector, free, total


def volume_label_file(text):
    """The label Wine takes from a .windows-label holding text."""
    return text.rstrip(" \r\n")


def volume_serial_file(text):
    """The serial number Wine takes from a .windows-serial holding text."""
    return int(text.strip(), 16)


def default_serial(letter):
    """The serial number Wine gives a drive whose volume names none: the
    letter's code in the top byte."""
    return ord(letter.upper()) << 24


def fat_boot_sector(image):
    """(file-system name as Windows reports it, label, serial number) from the
    boot sector of a FAT image."""
    with open(image, "rb") as f:
        sector = f.read(512)
    if sector[0x52:0x57] == b"FAT32":
        label, serial = sector[0x47:0x52], struct.unpack_from("<I", sector, 0x43)[0]
        name = "FAT32"
    elif sector[0x36:0x3B] in (b"FAT12", b"FAT16"):
        label, serial = sector[0x2B:0x36], struct.unpack_from("<I", sector, 0x27)[0]
        name = "FAT"
    else:
        raise ValueError(f"{image}: no FAT boot sector")
    return name, label.decode("ascii").rstrip(" "), serial


def fat_data_bytes(image):
    """The size of a FAT image's data area in whole clusters: the capacity a
    driver that mounts the volume gives it."""
    with open(image, "rb") as f:
        sector = f.read(512)
    bytes_per_sector, per_cluster, reserved, fats, root_entries, total16 = \
        struct.unpack_from("<HBHBHH", sector, 11)
    fat16_sectors = struct.unpack_from("<H", sector, 22)[0]
    total32, fat32_sectors = struct.unpack_from("<II", sector, 32)
    root_sectors = (root_entries * 32 + bytes_per_sector - 1) // bytes_per_sector
    data_sectors = ((total16 or total32) - reserved - fats * (fat16_sectors or fat32_sectors) -
                    root_sectors)
    return data_sectors // per_cluster * per_cluster * bytes_per_sector


def pe_bits(exe):
    """32 or 64: the machine a Windows program is built for."""
    with open(exe, "rb") as f:
        data = f.read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return 64 if struct.unpack_from("<H", data, pe + 4)[0] == 0x8664 else 32


def loader(exe, bits=None):
    """The Wine loader for a program: its own bitness's where known."""
    if bits is None and os.path.exists(exe):
        bits = pe_bits(exe)
    return WINE64 if bits == 64 else WINE32


def differing_lines(a, b):
    a, b = a.splitlines(), b.splitlines()
    pairs = [(x, y) for x, y in zip(a, b) if x != y]
    return pairs + [(x, None) for x in a[len(b):]] + [(None, y) for y in b[len(a):]]


class Builds:
    """The build under test and, when it is built, the one of the other
    bitness: every case runs on both, each against what it must print, and
    the two outputs must agree wherever the two programs can."""

    def __init__(self, exe, peer, check, compare=True, compared_by_peer=False):
        self.check = check
        # Absolute: some cases run from a folder of a test drive.
        self.exes = {pe_bits(exe): os.path.abspath(exe)}
        if not compare:
            return
        if compared_by_peer:
            # Each case of the other build's suite runs both builds and
            # compares them: running the pair here as well would only
            # double the slower build's runs.
            print(f"     the 32-bit and 64-bit builds are compared in the suite of "
                  f"{os.path.relpath(os.path.dirname(os.path.abspath(peer or '.')))}")
            return
        if peer and os.path.exists(peer):
            self.exes[pe_bits(peer)] = os.path.abspath(peer)
        else:
            check.skip("32-bit and 64-bit builds compared",
                       f"the other build ({peer}) is not there: build both presets")

    def bits(self):
        return sorted(self.exes)

    def run(self, wine, what, args, expected, why_different=None, cwd=None, **options):
        """expected: bits -> (stdout, stderr, exit code).  Where the two
        expectations differ, why_different names the reason, and the two
        outputs must differ in exactly the lines the expectations do."""
        outputs = {}
        for bits, exe in sorted(self.exes.items()):
            outputs[bits] = wine.run(exe, args, cwd=cwd, bits=bits, **options)
            self.check.equal(f"{what} [{bits}-bit]", outputs[bits], tuple(expected[bits]))
        if len(outputs) < 2:
            return outputs
        if tuple(expected[32]) == tuple(expected[64]):
            self.check.equal(f"{what} [32-bit and 64-bit alike]", outputs[32], outputs[64])
        else:
            if not why_different:
                raise ValueError(f"{what}: the two builds are expected to differ, and no reason")
            self.check.equal(f"{what} [64-bit differs as documented: {why_different}]",
                             differing_lines(outputs[32][0], outputs[64][0]),
                             differing_lines(expected[32][0], expected[64][0]))
        return outputs


@contextlib.contextmanager
def drive_suite(opts, wine, check, letters, shares=(), compare=True):
    """The frame of a suite that maps drives: (builds, mounts) to use; the
    builds are the one under test alone where compare is false.  A mount or
    loop device this machine refuses skips the suite with its reason;
    whatever happens, the letters and (server, share) pairs are forgotten
    and every mount and device undone."""
    mounts = Mounts(opts.mounts)
    try:
        yield Builds(opts.exe, opts.peer, check, compare, opts.compared_by_peer), mounts
    except Refused as e:
        skip(str(e))
    finally:
        try:
            for server, share in shares:
                wine.map_share(server, share, None)
            wine.forget_drives(letters)
        finally:
            mounts.close()


def options(add_arguments=None):
    """The command line every Wine check takes, plus its own (added by
    add_arguments)."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--peer", help="the build of the other bitness")
    parser.add_argument("--compared-by-peer", action="store_true",
                        help="the other build's suite compares the two: run this build alone")
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--mounts", required=True)
    if add_arguments:
        add_arguments(parser)
    opts = parser.parse_args()
    if opts.compared_by_peer and os.environ.get(PAIRS_RUN):
        skip("the other build's suite runs this build's cases beside its own and compares "
             f"them, and runs too ({PAIRS_RUN} is set)")
    # A lane's first suite may be one that makes no mounts.
    os.makedirs(opts.mounts, exist_ok=True)
    empty_programs(opts.exe, opts.peer)
    return opts


def start_held(add_arguments=None):
    """start() for a suite whose drives stop answering, held open by the
    build's hold_drive (--holder): (opts, wine, check, modes), the modes
    those of test_modes."""
    def arguments(parser):
        parser.add_argument("--holder", required=True, help="hold_drive.exe of this build")
        if add_arguments:
            add_arguments(parser)

    opts, wine, check = start(arguments)
    return opts, wine, check, test_modes(opts.exe)


def test_modes(exe):
    """The systems a build is checked as, each as (name, version for
    Wine.configure): NT, and Windows 98 as well for a 32-bit build (no
    64-bit Windows of that family exists)."""
    return (("NT", None), ("98", "win98")) if pe_bits(exe) == 32 else (("NT", None),)


def start(add_arguments=None):
    """The options, the prefix and a fresh set of checks: (opts, wine, check)."""
    opts = options(add_arguments)
    return opts, Wine(opts.prefix), Checks()


class Checks:
    """Collects failures so that one run reports all of them."""

    def __init__(self):
        self.failures = []
        self.passed = 0
        self.skipped = []

    def _fail(self, message):
        self.failures.append(message)
        print(message)

    def _heap_damaged(self, what):
        """Fails `what`, the first check after the run that caused them,
        with the heap errors Wine reported since the last check; True if
        there were any."""
        errors = take_heap_errors()
        if errors:
            self._fail(f"FAIL {what}: Wine's heap checks found damage:\n  " +
                       "\n  ".join(errors[:10]))
        return bool(errors)

    def equal(self, what, actual, expected):
        damaged = self._heap_damaged(what)
        if actual != expected:
            self._fail(f"FAIL {what}:\n  expected {expected!r}\n  actual   {actual!r}")
        elif not damaged:
            self.passed += 1
            print(f"ok   {what}")

    def contains(self, what, text, piece):
        damaged = self._heap_damaged(what)
        if piece not in text:
            self._fail(f"FAIL {what}: {piece!r} not in:\n{text}")
        elif not damaged:
            self.passed += 1
            print(f"ok   {what}")

    def skip(self, what, reason):
        self.skipped.append(f"{what}: {reason}")
        print(f"SKIP {what}: {reason}")

    def exit_code(self):
        """1 after any failure; SKIP when nothing could be checked at all."""
        self._heap_damaged("the runs after the last check")
        if self.skipped:
            print(f"{len(self.skipped)} case(s) skipped:")
            for line in self.skipped:
                print(f"  {line}")
        if self.failures:
            # Told again last: a log cut to its head and tail still shows them.
            print(f"{len(self.failures)} check(s) failed:")
            for message in self.failures:
                print(message)
            return 1
        return SKIP if self.skipped and not self.passed else 0
