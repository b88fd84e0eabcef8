#!/usr/bin/env python3
"""End to end: the collector's document carries the versions and flags written
into the test prefix's registry and the head of its telemetry.log, and a run
that finds ProgramData writes no log file.

Arguments: the collector executable, the file_holder executable.
"""
import glob
import json
import os
import subprocess
import sys

COLLECTOR, HOLDER = sys.argv[1:3]
PREFIX = os.environ["WINEPREFIX"]
WINE = os.environ["WINE_EXEC"]

SERVICES = r"HKLM\SYSTEM\CurrentControlSet\Services"
ZEL_CONFIG = SERVICES + r"\Corvex Valmere\TamperProtection\Config"
ORB = r"HKLM\SOFTWARE\Corvex\ORBService\TamperProtection"
PRODUCT_DIR = os.path.join(PREFIX, "drive_c", "ProgramData", "Corvex", "Valmere")
TELEMETRY_LOG = os.path.join(PRODUCT_DIR, "telemetry.log")
TELEMETRY_LOG_WINDOWS = r"C:\ProgramData\Corvex\Valmere\telemetry.log"
SECTION_OPENING = b'"zelMinifilterInformation":{'
SECTION_CLOSING = b'},"zelPerfTelemetry":{'

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message, file=sys.stderr)


def wine(*args, check_status=True):
    result = subprocess.run([WINE, *args], stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    if check_status and result.returncode != 0:
        raise RuntimeError(f"{args} exited {result.returncode}: {result.stderr!r}")
    return result


def reg_add(key, name, kind, data, view="64"):
    wine("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f", f"/reg:{view}")


def cleanup():
    for service in ("Corvex Valmere", "Corvex Valmere Service", "Corvex Lanthorn Service"):
        wine("reg", "delete", SERVICES + "\\" + service, "/f", check_status=False)
    for view in ("32", "64"):
        wine("reg", "delete", r"HKLM\SOFTWARE\Corvex", "/f", f"/reg:{view}", check_status=False)
    if os.path.exists(TELEMETRY_LOG):
        os.remove(TELEMETRY_LOG)
    for directory in (PRODUCT_DIR, os.path.dirname(PRODUCT_DIR)):
        if os.path.isdir(directory) and not os.listdir(directory):
            os.rmdir(directory)


def log_files():
    return sorted(glob.glob(os.path.join(PREFIX, "drive_c", "users", "*", "Temp", "Corvex Valmere *.log")))


def collect():
    result = wine(COLLECTOR, check_status=False)
    check(result.returncode == 0, f"exit code {result.returncode}, stderr {result.stderr!r}")
    check(result.stderr == b"", f"stderr {result.stderr!r}")
    return result.stdout


def minifilter_section(document):
    start = document.find(SECTION_OPENING)
    end = document.find(SECTION_CLOSING, start)
    check(start >= 0 and end >= 0, "minifilter section not found")
    return document[start + len(SECTION_OPENING):end]


def write_telemetry_log(content):
    os.makedirs(PRODUCT_DIR, exist_ok=True)
    with open(TELEMETRY_LOG, "wb") as out:
        out.write(content)


def installed_product():
    reg_add(SERVICES + r"\Corvex Valmere", "Version", "REG_SZ", "10.8.4.1")
    reg_add(SERVICES + r"\Corvex Valmere Service", "Version", "REG_SZ", '11.0\\beta "2"')
    reg_add(SERVICES + r"\Corvex Lanthorn Service", "Version", "REG_EXPAND_SZ", "3.0")
    reg_add(ZEL_CONFIG, "ZELEnabled", "REG_DWORD", "1")
    reg_add(ZEL_CONFIG, "IgnoreORB", "REG_DWORD", "4294967295")
    reg_add(ZEL_CONFIG, "orbEnabled", "REG_DWORD", "0")
    # Only the 64-bit view so far, which the collector does not consult.
    reg_add(ORB, "Enabled", "REG_DWORD", "1", view="64")
    write_telemetry_log(b'"a":1')

    document = collect()
    expected_start = (b'{"zelVersion":{"ZelDriver":"10.8.4.1","ZelService":"11.0\\\\beta \\"2\\"","HmrService":""},'
                      b'"tamperProtection":{"zelEnabled":true,"ignoreOrb":true,"orbEnabled":false,'
                      b'"orbTpEnabled":false,')
    check(document.startswith(expected_start), f"document begins {document[:300]!r}")
    check(b'"zelMinifilterInformation":{"a":1},' in document, "telemetry.log member missing")
    parsed = json.loads(document)
    check(parsed["zelVersion"]["ZelService"] == '11.0\\beta "2"', "escaped version does not parse back")
    check(parsed["zelMinifilterInformation"] == {"a": 1}, "minifilter object does not parse back")

    reg_add(ORB, "Enabled", "REG_DWORD", "2", view="32")
    check(b'"orbTpEnabled":true,' in collect(), "ORB flag of the 32-bit view not read")


def telemetry_log_head():
    content = bytes(ord("a") + i % 26 for i in range(5000))
    write_telemetry_log(content)
    check(minifilter_section(collect()) == content[:1024], "not exactly the first 1024 bytes")

    # Another process holds the file open for writing and shares nothing.
    holder = subprocess.Popen([WINE, HOLDER, TELEMETRY_LOG_WINDOWS], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        ready = holder.stdout.readline()
        check(ready.strip() == b"held", f"holder did not hold the file: {ready!r}")
        check(minifilter_section(collect()) == b"", "section not empty while the file is held")
    finally:
        holder.stdin.close()
        holder.wait(timeout=60)
    check(minifilter_section(collect()) == content[:1024], "section still empty after the holder ended")


def nothing_installed():
    cleanup()
    document = collect()
    check(document.startswith(b'{"zelVersion":{"ZelDriver":"","ZelService":"","HmrService":""},'
                              b'"tamperProtection":{"zelEnabled":false,"ignoreOrb":false,"orbEnabled":false,'
                              b'"orbTpEnabled":false,'), f"document begins {document[:300]!r}")
    check(minifilter_section(document) == b"", "section not empty without telemetry.log")


def main():
    cleanup()
    logs_before = log_files()
    try:
        installed_product()
        telemetry_log_head()
        nothing_installed()
    finally:
        cleanup()
    check(log_files() == logs_before, f"a run wrote a log file: {log_files()}")
    if failures:
        return 1
    print("collector sources end to end: ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
