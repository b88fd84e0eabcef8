"""Shared helpers for the end-to-end tests that run Windows programs under Wine.

The rig (tests/wine/wine-rig.sh, started by ctest's fixture) provides the prefix
and a persistent wineserver; WINE_EXEC runs one program in that prefix.
"""
import os
import re
import subprocess
import time

FILETIME_UNIX_EPOCH = 116444736000000000  # 1970-01-01 in 100 ns ticks since 1601


def filetime_now():
    return FILETIME_UNIX_EPOCH + time.time_ns() // 100


def prefix():
    return os.environ["WINEPREFIX"]


def drive_c(*parts):
    return os.path.join(prefix(), "drive_c", *parts)


def make_directories(base, parts):
    """Makes base/parts[0]/parts[1]/... where missing; returns the directories it made, outermost
    first, so a test can remove exactly those when it ends."""
    created, path = [], base
    for part in parts:
        path = os.path.join(path, part)
        if not os.path.isdir(path):
            os.mkdir(path)
            created.append(path)
    return created


def run_windows(exe, *args, winedebug="-all", env=None, timeout=120):
    """Runs exe under Wine; returns (exit code, stdout bytes, stderr bytes)."""
    environment = dict(os.environ)
    environment["WINEDEBUG"] = winedebug
    if env:
        environment.update(env)
    completed = subprocess.run(
        [os.environ["WINE_EXEC"], exe, *args],
        stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        env=environment,
        timeout=timeout,
    )
    return completed.returncode, completed.stdout, completed.stderr


_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'"}


def _unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            if nxt in _ESCAPES:
                out.append(_ESCAPES[nxt])
                i += 2
                continue
            if nxt == "x":
                out.append(chr(int(text[i + 2 : i + 4], 16)))
                i += 4
                continue
        out.append(c)
        i += 1
    return "".join(out)


def debug_strings(stderr):
    """The program's OutputDebugStringA texts from Wine's +debugstr channel, in order."""
    texts = []
    for line in stderr.decode("utf-8", "replace").splitlines():
        match = re.search(r'OutputDebugStringA "(.*)"$', line)
        if match:
            texts.append(_unescape(match.group(1)))
    return texts


def run_windows_measured(exe, *args, env=None, timeout=120):
    """run_windows, and the peak resident memory of the Windows process in KiB: GNU time measures
    the Wine loader, which becomes that process. Returns (exit code, stdout, stderr, peak KiB)."""
    import tempfile

    with tempfile.NamedTemporaryFile("r") as measured:
        completed = subprocess.run(
            ["/usr/bin/time", "-f", "%M", "-o", measured.name, os.environ["WINE_EXEC"], exe, *args],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=dict(os.environ, **(env or {})), timeout=timeout)
        peak = int(measured.read().split()[-1])
    return completed.returncode, completed.stdout, completed.stderr, peak
