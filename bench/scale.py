#!/usr/bin/env python3
"""rpd-host's readable text from 10,000 to 400,000 routes: the CPU time of
each size (the best of three runs, from the kernel's accounting of the
process, finer than time(1) prints) and its peak memory (time(1)'s: a child
of this script would count the script's own pages it was forked with), a
line per size for summarize.py: ROUTES CPU_SECONDS PEAK_RSS_KB."""
import os
import subprocess
import sys
import tempfile

host, make_mrt, folder = sys.argv[1:4]
for n in (10000, 100000, 400000):
    path = os.path.join(folder, f"e2e-{n}.mrt")
    if not os.path.exists(path):
        subprocess.run([make_mrt, str(n), path], check=True, stdout=subprocess.DEVNULL)
    best, rss = None, 0
    with tempfile.NamedTemporaryFile("r") as peak:
        for _ in range(3):
            p = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak.name, host, "--no-progress", path],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            _, _, usage = os.wait4(p.pid, 0)  # time(1)'s and rpd-host's together: time(1) adds about a millisecond
            cpu = usage.ru_utime + usage.ru_stime
            best = cpu if best is None else min(best, cpu)
            peak.seek(0)
            rss = max(rss, int(peak.read().split()[-1]))
    print(n, f"{best:.4f}", rss)
