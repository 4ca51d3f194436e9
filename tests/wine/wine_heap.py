"""Whose write damaged a heap, when Wine's heap checks find it damaged.

Under Wine a program has two kinds of heap.  The process heap is the first
heap ntdll makes, before any module of the program is loaded; Wine's own
code (kernel32, ntdll, msvcrt's start-up) allocates from it.  The C runtime
(msvcrt.dll) makes a heap of its own, and malloc, calloc, realloc and new,
the command line and environment tables of __getmainargs among them, take
their blocks from that one.  A program whose import table names no function
that hands it process-heap memory to write into (HeapAlloc, LocalAlloc,
GlobalAlloc and their kin, FormatMessage's allocated buffer,
CommandLineToArgvW) writes into the process heap only through a pointer gone
wild, which the checked builds' guards and the C runtime heap's own checks
would meet first: damage found there, and only there, is Wine's own.

One process-heap block does reach such a program: the environment block of
GetEnvironmentStrings, read and handed back by FreeEnvironmentStrings.  It
is never smaller than the environment the run was given, so damage in a
block the trace shows allocated smaller than that is not in it.

The proof is read from the run's whole heap trace (the +heap channel): the
trace must begin with the process heap's creation, so that its handle is
known; every error must name that heap and a block the trace shows
allocated, smaller than the environment block.  Anything short of that (a
trace cut at its start, an error in any other heap or in a block the trace
does not show, one import of the kind above) is the program's.
"""

import re
import struct
from dataclasses import dataclass

# Functions through which a program gets process-heap memory it may write.
PROCESS_HEAP_GIVERS = frozenset({
    "GetProcessHeap", "GetProcessHeaps", "HeapAlloc", "HeapReAlloc", "HeapCreate",
    "RtlAllocateHeap", "RtlReAllocateHeap", "RtlCreateHeap",
    "LocalAlloc", "LocalReAlloc", "GlobalAlloc", "GlobalReAlloc",
    "FormatMessageA", "FormatMessageW", "CommandLineToArgvW",
    "CoTaskMemAlloc", "CoTaskMemRealloc",
})

TRACE_CALL = re.compile(rb"(?:[0-9a-f]{4,8}:){1,2}trace:heap:(Rtl\w+) ([^\n]*)")
HANDLE = re.compile(rb"handle ([0-9A-Fa-f]+)")
ERROR_HEAP = re.compile(r"err:heap:\w+ heap ([0-9A-Fa-f]+), block ([0-9A-Fa-f]+)")
ALLOCATION = re.compile(rb"trace:heap:Rtl(?:Re)?AllocateHeap handle ([0-9A-Fa-f]+), "
                        rb".*size (0x[0-9a-f]+)[^\n]*, return ([0-9A-Fa-f]+)")
# Bytes of Wine's block header before the pointer a heap call returns.
HEADER_MOST = 16


@dataclass
class Verdict:
    wines_own: bool
    reason: str


def process_heap(trace):
    """The process heap's handle (an int) from a run's whole heap trace: the
    heap of the first call after the first heap is made.  None where the
    trace does not begin with that heap's creation (it was cut, or the heap
    channel was off at the start)."""
    calls = TRACE_CALL.finditer(trace)
    first = next(calls, None)
    if not first or first.group(1) != b"RtlCreateHeap":
        return None
    for call in calls:
        handle = HANDLE.search(call.group(2))
        if handle:
            return int(handle.group(1), 16)
    return None


def imported_functions(exe):
    """The names a PE program imports by name, from any DLL; None for a
    file that is no PE program."""
    with open(exe, "rb") as f:
        data = f.read()
    if data[:2] != b"MZ" or len(data) < 0x40:
        return None
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return None
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    wide = struct.unpack_from("<H", data, optional)[0] == 0x20B
    directories = optional + (112 if wide else 96)
    import_rva = struct.unpack_from("<I", data, directories + 8)[0]
    table = [struct.unpack_from("<8xII4xI", data, optional + optional_size + 40 * i)
             for i in range(sections)]

    def at(rva):
        for size, address, raw in table:
            if address <= rva < address + max(size, 1):
                return rva - address + raw
        raise ValueError(f"{exe}: RVA {rva:#x} in no section")

    names = set()
    if not import_rva:
        return names
    descriptor = at(import_rva)
    while True:
        lookup, _, _, dll, thunks = struct.unpack_from("<IIIII", data, descriptor)
        if not dll:
            break
        entry = at(lookup or thunks)
        step, ordinal = (8, 1 << 63) if wide else (4, 1 << 31)
        while True:
            value = struct.unpack_from("<Q" if wide else "<I", data, entry)[0]
            if not value:
                break
            if not value & ordinal:
                name = at(value & 0x7FFFFFFF) + 2
                names.add(data[name:data.index(b"\0", name)].decode("ascii"))
            entry += step
        descriptor += 20
    return names


def allocated_size(trace, heap, block):
    """The size the trace last shows allocated in heap at block (the address
    an error names, a header before the pointer returned), or None."""
    size = None
    for call in ALLOCATION.finditer(trace):
        pointer = int(call.group(3), 16)
        if int(call.group(1), 16) == heap and block < pointer <= block + HEADER_MOST:
            size = int(call.group(2), 16)
    return size


def environment_floor(env):
    """The fewest bytes the environment block of a run given env (a dict) can
    have: Wine passes the variables on, in UTF-16, its own WINE* aside."""
    return 2 * sum(len(name) + len(value) + 2 for name, value in env.items()
                   if not name.upper().startswith("WINE"))


def verdict(trace, errors, imports, environment_bytes):
    """Whether the heap errors of a run (the err lines, as text) are Wine's
    own damage, from its whole heap trace (bytes), the names the program
    imports (imported_functions) and the fewest bytes its environment block
    can have (environment_floor): a Verdict whose reason says what shows
    it, or why it cannot be told."""
    heap = process_heap(trace)
    if heap is None:
        return Verdict(False, "the heap trace does not begin with the process heap's creation")
    if imports is None:
        return Verdict(False, "the program's imports cannot be read")
    givers = sorted(set(imports) & PROCESS_HEAP_GIVERS)
    if givers:
        return Verdict(False, f"the program imports {', '.join(givers)}: it may write into "
                              "the process heap")
    if not errors:
        return Verdict(False, "no heap error")
    sizes = []
    for line in errors:
        named = ERROR_HEAP.search(line)
        if not named:
            return Verdict(False, f"no heap and block named in: {line}")
        if int(named.group(1), 16) != heap:
            return Verdict(False, f"heap {int(named.group(1), 16):#x} is not the process heap "
                                  f"({heap:#x}): the program's C runtime allocates there")
        size = allocated_size(trace, heap, int(named.group(2), 16))
        if size is None:
            return Verdict(False, f"block {named.group(2)} is not in the trace")
        if size >= environment_bytes:
            return Verdict(False, f"block {named.group(2)} ({size} bytes) may be the "
                                  f"environment block ({environment_bytes} bytes at least)")
        sizes.append(size)
    return Verdict(True, f"every error is in the process heap ({heap:#x}), in blocks of "
                         f"{', '.join(map(str, sizes))} bytes: the program imports no "
                         "HeapAlloc, LocalAlloc, GlobalAlloc or kin, its own blocks are all "
                         "in its C runtime's heap, and its environment block, the one "
                         f"process-heap block it reads, has {environment_bytes} bytes at least")
