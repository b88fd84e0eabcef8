"""Shared helpers for the end-to-end tests that run Windows programs under Wine; the only place
that knows how to start one.

The rig (tests/wine/wine-rig.sh, started by ctest's fixture) provides the prefix and a persistent
wineserver; WINE_EXEC runs one program in that prefix.

Wine's own error lines stay on, so a failure of Wine itself (a loader that could not map its
fixed addresses, a DLL that did not load) names itself. They are taken out of the program's
standard error before a test looks at it, and written to this process's standard error, which
ctest shows when the test fails.
"""
import os
import re
import subprocess
import sys
import tempfile
import time

# Wine's error lines, and the program's debugger output when a test asks for it.
WINEDEBUG = "err+all,fixme-all"
WINEDEBUG_WITH_DEBUG_OUTPUT = WINEDEBUG + ",+debugstr"

# A line of Wine's own: "[pid:]tid:class:channel:function text", or without the ids before the
# first thread exists ("err:virtual:virtual_alloc_first_teb ..."). The debugstr channel carries
# the program's own OutputDebugStringA text and is kept.
_WINE_LINE = re.compile(rb"(?:[0-9a-f]{4,8}:){0,2}(?:err|fixme|warn|trace):(?!debugstr:)[A-Za-z0-9_]+:")

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


def split_wine_lines(stderr):
    """(the program's standard error, Wine's own lines) from what a Wine process wrote there."""
    program, wine = [], []
    for line in re.findall(rb"[^\n]*\n|[^\n]+$", stderr):
        (wine if _WINE_LINE.match(line) else program).append(line)
    return b"".join(program), b"".join(wine)


def _environment(debug_output, env):
    environment = dict(os.environ)
    environment["WINEDEBUG"] = WINEDEBUG_WITH_DEBUG_OUTPUT if debug_output else WINEDEBUG
    if env:
        environment.update(env)
    return environment


def _show_wine_lines(exe, code, wine):
    if wine:
        sys.stderr.write("Wine's own lines while running %s (exit code %d):\n%s" % (
            exe, code, wine.decode("utf-8", "replace")))
        sys.stderr.flush()


def run_windows(exe, *args, debug_output=False, env=None, cwd=None, timeout=120):
    """Runs exe (a Unix path, a Windows path or a program Wine knows, such as reg) under Wine;
    returns (exit code, stdout bytes, stderr bytes). Wine's own lines are not in that stderr:
    they go to this process's standard error. debug_output: the program's OutputDebugStringA
    text comes on its stderr too (see debug_strings)."""
    completed = subprocess.run(
        [os.environ["WINE_EXEC"], exe, *args],
        stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        env=_environment(debug_output, env),
        cwd=cwd,
        timeout=timeout,
    )
    stderr, wine = split_wine_lines(completed.stderr)
    _show_wine_lines(exe, completed.returncode, wine)
    return completed.returncode, completed.stdout, stderr


def start_windows(exe, *args, env=None):
    """Starts exe under Wine with pipes for its standard input and output; returns the Popen.
    Its standard error, Wine's lines with it, goes straight to this process's."""
    return subprocess.Popen([os.environ["WINE_EXEC"], exe, *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            env=_environment(False, env))


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
    with tempfile.NamedTemporaryFile("r") as measured:
        completed = subprocess.run(
            ["/usr/bin/time", "-f", "%M", "-o", measured.name, os.environ["WINE_EXEC"], exe, *args],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=_environment(False, env), timeout=timeout)
        peak = int(measured.read().split()[-1])
    stderr, wine = split_wine_lines(completed.stderr)
    _show_wine_lines(exe, completed.returncode, wine)
    return completed.returncode, completed.stdout, stderr, peak
