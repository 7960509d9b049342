# SPDX-License-Identifier: MIT
"""Process and port helpers shared by the bench drivers."""
import os
import random
import select
import socket
import subprocess


def free_low_port():
    """A free port the program's 16-bit signed port field can hold."""
    for _ in range(100):
        port = random.randint(20000, 32000)
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
                return port
            except OSError:
                continue
    raise RuntimeError("no free port under 32768")


def read_line(stream, timeout):
    """The next line of stream, or None when none came within timeout seconds."""
    ready, _, _ = select.select([stream], [], [], timeout)
    return stream.readline().decode(errors="replace").strip() if ready else None


def proc_mb(pid, key):
    """A kB figure from /proc/<pid>/status (VmRSS, VmHWM), in MB."""
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith(key + ":"):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return None


def cpu_seconds(pid):
    """User and system time the process has used so far."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        # utime and stime are fields 14 and 15 of the whole line; 12 and 13 after the name.
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return None


def stop(proc):
    """Ends proc: politely, then for sure."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
