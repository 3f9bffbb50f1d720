#!/usr/bin/env python3
"""rpd-host under memory pressure, as a long capture or a small machine puts it:
  - capture reassembly stays within --capture-memory, bookkeeping included:
    peak memory on many one-byte segments held behind gaps is checked against
    the budget (and, so the check means something, the same capture with a
    large budget must need more);
  - an allocation failure (address space limited with RLIMIT_AS) ends the
    input with "out of memory", the summary and exit 1, never an abort; a
    compressed input whose decoder cannot get memory says so, not "damaged".
    pressure.py RPD_HOST SOURCE_DIR"""
import os
import resource
import subprocess
import sys
import tempfile

TOOL, SRC = sys.argv[1], sys.argv[2]
HERE = os.path.dirname(os.path.abspath(__file__))
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)
        print("FAIL:", what)


def run(args, limit_as=None):
    """Runs rpd-host; returns (exit status, stderr text, peak RSS of this run in KiB)."""
    def limit():
        if limit_as:
            resource.setrlimit(resource.RLIMIT_AS, (limit_as, limit_as))
    with tempfile.TemporaryFile() as err:
        p = subprocess.Popen([TOOL, "--json", "--no-progress"] + args, stdout=subprocess.DEVNULL, stderr=err,
                             preexec_fn=limit)
        _, status, usage = os.wait4(p.pid, 0)  # bounded: every input here reads in seconds
        p.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        return p.returncode, err.read().decode(errors="replace"), usage.ru_maxrss


with tempfile.TemporaryDirectory() as work:
    held = os.path.join(work, "held.pcap")
    subprocess.run([sys.executable, os.path.join(HERE, "held_capture.py"), held, "16", "20000"], check=True)
    xz = held + ".xz"
    subprocess.run(["sh", "-c", f"xz -9 -c {held} > {xz}"], check=True)

    # The budget. The base is rpd-host reading a small sample.
    _, _, base = run([os.path.join(SRC, "samples/full-set.pcap")])
    rc, err, small = run(["--capture-memory", "4M", held])
    check(rc == 1 and "memory budget (4 MiB" in err, "the budget reached is reported")
    check(small - base < 12 * 1024, f"4 MiB budget: peak {small} KiB over a base of {base} KiB")
    _, _, large = run(["--capture-memory", "1G", held])
    check(large - base > 24 * 1024, f"1 GiB budget: peak {large} KiB, the capture puts too little pressure")
    print(f"peak RSS: base {base} KiB, budget 4 MiB {small} KiB, budget 1 GiB {large} KiB")

    # Allocation failures: from a limit too small to decompress, to one that lets the reading through.
    said = {"out of memory": 0, "decompressing": 0}
    limit = 24 << 20
    while limit < (1 << 30):
        short = False
        for path in (held, xz):
            rc, err, _ = run(["--capture-memory", "1G", path], limit_as=limit)
            check(rc in (0, 1), f"exit {rc} under a {limit >> 20} MiB address space on {os.path.basename(path)}")
            if ": out of memory\n" in err:
                short = True
                said["out of memory"] += 1
                check("summary:" in err and "out of memory 1" in err, "the summary follows an allocation failure:\n" + err[-600:])
            if "out of memory while decompressing" in err:
                short = True
                said["decompressing"] += 1
                check("left unread for lack of memory" in err, "a decoder short of memory is not called damaged:\n" + err[-600:])
            check("damaged or cut short" not in err, "a compressed input called damaged for lack of memory")
        if not short and all(n > 0 for n in said.values()):
            break  # enough room from here on
        limit = limit * 5 // 4
    print("allocation failures said:", said)
    check(all(n > 0 for n in said.values()), "every kind of allocation failure was met")

if failures:
    sys.exit(1)
print("ok")
