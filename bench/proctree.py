#!/usr/bin/env python3
"""A process and all its descendants, read from /proc.

  proctree.py memory <pid>   prints "<rss KiB> <pss KiB> <processes>"
  proctree.py cpu <pid>      prints "<CPU seconds> <processes>": user and
                             system time of every process of the tree plus
                             that of their ended, reaped children (cutime,
                             cstime), so short-lived children (a ping) count.
"""
import os
import sys


def parent_of(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            stat = f.read()
    except OSError:
        return None
    return int(stat[stat.rindex(")") + 2:].split()[1])


def tree(root):
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            children.setdefault(parent_of(int(entry)), []).append(int(entry))
    pids, pending = [], [root]
    while pending:
        pid = pending.pop()
        pids.append(pid)
        pending.extend(children.get(pid, []))
    return pids


def field(path, name):
    try:
        with open(path) as f:
            for line in f:
                if line.startswith(name + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def memory(root):
    rss = pss = count = 0
    for pid in tree(root):
        r = field(f"/proc/{pid}/status", "VmRSS")
        if r is None:
            continue
        rss += r
        pss += field(f"/proc/{pid}/smaps_rollup", "Pss") or 0
        count += 1
    print(rss, pss, count)


def cpu(root):
    ticks = count = 0
    for pid in tree(root):
        try:
            with open(f"/proc/{pid}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rindex(")") + 2:].split()
        # utime, stime, cutime, cstime: fields 14-17 of stat(5), counted from the state (3).
        ticks += sum(int(v) for v in fields[11:15])
        count += 1
    print(f"{ticks / os.sysconf('SC_CLK_TCK'):.2f}", count)


if __name__ == "__main__":
    {"memory": memory, "cpu": cpu}[sys.argv[1]](int(sys.argv[2]))
