#!/usr/bin/env python3
"""What the real Windows build asks of the system, read from Wine's relay
trace of the calls whose return address lies in the program's own image.

- Windows 98 mode, on a real console (tmux): the report arrives as text,
  and the program calls no wide function of kernel32 but the two
  conversions: the Windows 95 family implements almost none of them.
- NT mode: the drive is asked through the wide interfaces.
- Both modes: SetErrorMode with SEM_FAILCRITICALERRORS comes before the
  first drive query, so that a drive without its medium raises no dialog.
- Both modes: the drive queries are asked by a thread the program starts
  for them, and the program waits for them no longer than the drive's time
  limit; with /t0 the same queries are asked on the program's one thread,
  as they always were.
- NT mode, from cmd.exe: /a redirected to NUL, a character device that is
  no console, goes out in blocks as to a file (a write for the run, and one
  more at most for each drive waited on), with as many bytes: the C runtime
  leaves a stream to such a device unbuffered, a few bytes a call.
- NT mode: the program asks for no DLL by name but the two it imports
  (under Wine, looking for one that is not there takes a search of every
  folder of the DLL path).
"""

import os
import re
import struct
import subprocess
import sys
import tempfile

from test_console import Pane
from winelib import WINE64, heap_errors_in, loader, skip, start, windows_path

CONVERSIONS = {"MultiByteToWideChar", "WideCharToMultiByte"}
DRIVE_QUERY = re.compile(r"^(GetDriveType|GetVolumeInformation|GetDiskFreeSpace)")
# Wine's trace with +pid,+relay: "process:thread:Call DLL.Function(...) ret=...".
RELAY = "+pid,+relay"
CALL = re.compile(r"^([0-9a-f]+:[0-9a-f]+):Call ([\w.]+)\.(\w+)\((.*)\) ret=([0-9a-fA-F]+)$")


def image_range(exe):
    """(first, end) addresses of the program's image as its header asks."""
    with open(exe, "rb") as f:
        data = f.read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    if struct.unpack_from("<H", data, optional)[0] == 0x20B:  # PE32+
        base = struct.unpack_from("<Q", data, optional + 24)[0]
    else:
        base = struct.unpack_from("<I", data, optional + 28)[0]
    return base, base + struct.unpack_from("<I", data, optional + 56)[0]


def threaded_calls(trace, exe):
    """[(main thread?, dll, function, arguments)] the program made itself, in
    order: calls returning into its image, from the moment the thread that
    started its runtime asked for the arguments; the threads it starts for
    its drive queries included."""
    first, end = image_range(exe)
    main_thread, calls = None, []
    with open(trace, errors="replace") as f:
        for line in f:
            m = CALL.match(line.rstrip("\n"))
            if not m or not first <= int(m.group(5), 16) < end:
                continue
            if main_thread is None and m.group(3) in ("__getmainargs", "__wgetmainargs"):
                main_thread = m.group(1)
            # Wine's own programs started with the run may have their image
            # at the same address: only the program's process counts.
            if main_thread is not None and process(m.group(1)) == process(main_thread):
                calls.append((m.group(1) == main_thread, m.group(2).upper(), m.group(3),
                              m.group(4)))
    return calls


def process(thread):
    return thread.split(":")[0]


def own_calls(trace, exe):
    """[(dll, function, arguments)] the program made itself, in order."""
    return [call[1:] for call in threaded_calls(trace, exe)]


# The main thread's waits and where each gives its time in milliseconds: an
# event's, and on Windows Vista and later a condition variable's.
WAIT_TIME = {"WaitForSingleObject": 1, "SleepConditionVariableCS": 2}


def wait_time(call):
    """The time a main-thread call waits at most, in ms (0xffffffff: for
    ever); None for a call that does not wait, or only looks (time 0)."""
    if not call[0] or call[2] not in WAIT_TIME:
        return None
    time = int(call[3].split(",")[WAIT_TIME[call[2]]], 16)
    return time or None


def queries_waited_for(calls, limit_ms):
    """For each drive query: (its name, whether a thread other than the
    program's main one asked it, and whether the main thread waited for it
    at most limit_ms: its waits on either side of the query, the last one
    before it and the first one after, as the two threads' lines fall in the
    trace, are there and each at most limit_ms).  A main thread that finds
    the answers in already makes no wait for them."""
    found = []
    for i, (main, dll, function, _) in enumerate(calls):
        if dll != "KERNEL32" or not DRIVE_QUERY.match(function):
            continue
        before = [t for t in map(wait_time, calls[:i]) if t is not None][-1:]
        after = [t for t in map(wait_time, calls[i:]) if t is not None][:1]
        around = before + after
        limited = bool(around) and all(t <= limit_ms for t in around)
        found.append((function, not main, limited))
    return found


def error_mode_first(calls):
    """True when a SetErrorMode call with bit 0x1 comes before every drive
    query, and there is a drive query."""
    queries = [i for i, c in enumerate(calls) if c[0] == "KERNEL32" and DRIVE_QUERY.match(c[1])]
    modes = [i for i, c in enumerate(calls)
             if c[1] == "SetErrorMode" and int(c[2].split(",")[0] or "0", 16) & 1]
    return bool(queries) and bool(modes) and modes[0] < queries[0]


NT_QUERIES = ["GetDriveTypeW", "GetVolumeInformationW", "GetDiskFreeSpaceW",
              "GetDiskFreeSpaceExW"]


def drive_queries(calls):
    return [c[1] for c in calls if c[0] == "KERNEL32" and DRIVE_QUERY.match(c[1])]


def all_waited_for(threaded, limit_ms):
    """True when there are drive queries, each asked by the one thread the
    program started for them and waited for no longer than limit_ms."""
    found = queries_waited_for(threaded, limit_ms)
    started = sum(1 for c in threaded if c[0] and c[2] == "CreateThread")
    if not found or started != 1 or not all(apart and limited for _, apart, limited in found):
        print(f"  threads started: {started}; drive queries (name, asked on another thread, "
              f"waited for in time): {found}")
        return False
    return True


def traced_run(wine, args, trace):
    """Runs the program with redirected output, Wine's relay trace of it in
    the file trace; the exit code."""
    with open(trace, "wb") as log:
        result = subprocess.run([loader(args[0])] + args,
                                env=wine.run_env(env={"WINEDEBUG": RELAY}),
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=log,
                                timeout=120)
    with open(trace, "rb") as log:
        heap_errors_in(log.read())
    return result.returncode


def process_writes(trace, exe):
    """The byte counts of the WriteFile calls made in the program's
    process, by itself or by its C runtime, in order."""
    first, end = image_range(exe)
    program, counts = None, []
    with open(trace, errors="replace") as f:
        for line in f:
            m = CALL.match(line.rstrip("\n"))
            if not m:
                continue
            if (program is None and m.group(3) in ("__getmainargs", "__wgetmainargs") and
                    first <= int(m.group(5), 16) < end):
                program = process(m.group(1))
            if (program == process(m.group(1)) and m.group(2).upper() == "KERNEL32" and
                    m.group(3) == "WriteFile"):
                counts.append(int(m.group(4).split(",")[2], 16))
    return counts


def device_writes(wine, check, exe, folder):
    """/a from cmd.exe to NUL and to a file: the WriteFile calls that
    reach each, those of the C runtime on the program's behalf included."""
    wine.command([WINE64, "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayFromInclude",
                  "/d", "volsurvey.exe;msvcrt.dll", "/f"])
    trace, out = os.path.join(folder, "trace"), os.path.join(folder, "out.txt")
    found = {}
    for target in ("NUL", windows_path(out)):
        with open(trace, "wb") as log:
            command = f"{windows_path(exe)} /a > {target}"
            result = subprocess.run([loader(exe), "cmd", "/c", command],
                                    env=wine.run_env(env={"WINEDEBUG": RELAY}),
                                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                    stderr=log, timeout=120)
        with open(trace, "rb") as log:
            heap_errors_in(log.read())
        found[target] = (result.returncode, process_writes(trace, exe))
    (nul_code, to_nul), (file_code, to_file) = found["NUL"], found[windows_path(out)]
    with open(out, "rb") as f:
        written = f.read()
    check.equal("NT, /a > NUL and > file: exit codes, C: reported in the file",
                (nul_code, file_code, "ドライブ名:C:\r\n" in written.decode("cp932")),
                (0, 0, True))
    # Either goes out in blocks, pushed out once more before the run waits
    # on a drive whose answers are not in yet: as the drives' pace falls,
    # at most a write a drive more than the run's one.
    drives = written.decode("cp932").count("ドライブ名:")
    check.equal(f"NT, /a > NUL: written in blocks as to a file ({len(to_nul)} WriteFile calls "
                f"to NUL, {len(to_file)} to the file, {drives} drives), the file's bytes "
                "((bytes to NUL, to the file), the file's size)",
                (len(to_nul) <= drives + 1, len(to_file) <= drives + 1,
                 (sum(to_nul), sum(to_file))),
                (True, True, (len(written), len(written))))


LOOKUP = re.compile(r"^(GetModuleHandle|LoadLibrary)")
DLL_NAME = re.compile(r'"([^"]*)"')


def dlls_looked_for(calls):
    """The DLLs the program asks for by name, in lower case."""
    names = set()
    for dll, function, arguments in calls:
        m = DLL_NAME.search(arguments) if dll == "KERNEL32" and LOOKUP.match(function) else None
        if m:
            names.add(m.group(1).lower())
    return sorted(names)


def wide_kernel_calls(calls):
    return sorted({c[1] for c in calls if c[0] == "KERNEL32" and c[1].endswith("W")} -
                  CONVERSIONS)


def main():
    if subprocess.run(["which", "tmux"], capture_output=True).returncode != 0:
        skip("tmux is not installed")
    opts, wine, check = start()
    wine.command([WINE64, "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayFromInclude",
                  "/d", "volsurvey.exe", "/f"])
    try:
        with tempfile.TemporaryDirectory(dir=os.path.dirname(wine.prefix)) as folder:
            trace = os.path.join(folder, "trace")

            # A Japanese Windows 98 on its console.
            wine.configure(version="win98")
            pane = Pane(wine, opts.exe, ["c"], locale="ja_JP.UTF-8", log=trace,
                        env={"WINEDEBUG": RELAY})
            try:
                check.equal("Windows 98: exit code", pane.exit_code(timeout=120), 0)
                rows = pane.rows()
                check.equal("Windows 98: the report arrives as text", rows[:2],
                            ["              ドライブ名:C:", "            ドライブ種別:FIXED"])
            finally:
                pane.close()
            threaded = threaded_calls(trace, opts.exe)
            calls = [call[1:] for call in threaded]
            check.equal("Windows 98: drive queries on a thread of their own, 30 s at most",
                        all_waited_for(threaded, 30000), True)
            check.equal("Windows 98: no wide function of kernel32 but the conversions",
                        wide_kernel_calls(calls), [])
            check.equal("Windows 98: the console gets bytes, not WriteConsoleW",
                        any(c[1] in ("fwrite", "WriteFile") for c in calls), True)
            check.equal("Windows 98: error mode set before the first drive query",
                        error_mode_first(calls), True)

            # An English NT, its output redirected.
            wine.configure(version=None)
            check.equal("NT: exit code", traced_run(wine, [opts.exe, "c"], trace), 0)
            threaded = threaded_calls(trace, opts.exe)
            calls = [call[1:] for call in threaded]
            # The 64-bit query is asked too: it tells a volume of 2^32
            # clusters or more, whose classic counts are cut.
            check.equal("NT: the drive is asked through the wide interfaces",
                        drive_queries(calls), NT_QUERIES)
            check.equal("NT: drive queries on a thread of their own, 30 s at most",
                        all_waited_for(threaded, 30000), True)
            check.equal("NT: error mode set before the first drive query",
                        error_mode_first(calls), True)
            # Under Wine, asking for a DLL that is not there searches every
            # folder of the DLL path: the start-up asks for none.
            check.equal("NT: no DLL asked for but the two the program imports",
                        dlls_looked_for(calls), ["kernel32.dll", "msvcrt.dll"])

            # Without a limit the program asks as it always did: on its one
            # thread, the same questions in the same order.
            check.equal("NT, /t0: exit code",
                        traced_run(wine, [opts.exe, "/t0", "c"], trace), 0)
            threaded = threaded_calls(trace, opts.exe)
            check.equal("NT, /t0: the same drive queries",
                        drive_queries([call[1:] for call in threaded]), NT_QUERIES)
            check.equal("NT, /t0: every call on the program's one thread, none started",
                        (all(call[0] for call in threaded),
                         any(call[2] == "CreateThread" for call in threaded)), (True, False))

            device_writes(wine, check, opts.exe, folder)
    finally:
        wine.command([WINE64, "reg", "delete", r"HKCU\Software\Wine\Debug", "/v",
                      "RelayFromInclude", "/f"], check=False)
        wine.configure(version=None)
    return check.exit_code()


if __name__ == "__main__":
    sys.exit(main())
