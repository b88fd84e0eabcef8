"""Sets up a Wine prefix like an endpoint where the product has run for a day, then runs the
collector there and prints its document, raw and then indented.

The prefix is made once and kept; the registry values, telemetry.log and the counter file are
re-applied on every run (cheap), and the history is rewritten relative to the current time.
"""
import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import history_writer  # noqa: E402,F401  (imported to fail early when it is missing)

collector, standin_dll, prefix = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3])
# Wine's error lines stay visible, so a failure of Wine itself names itself.
env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="err+all,fixme-all", LANG="C.UTF-8", LC_ALL="C.UTF-8",
           WINEDLLOVERRIDES="mscoree,mshtml=", PATH="/usr/lib/wine:" + os.environ["PATH"])
WINE = "/usr/lib/wine/wine64"
quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wine(*args, **kwargs):
    subprocess.run([WINE, *args], env=env, check=True, **kwargs)


def warm_up(*args):
    """Runs a step of the warm-up with no stream a pipe: Wine's services, started on first use,
    must not inherit this script's pipes. What Wine says goes to a log file, printed when the
    step fails."""
    with open(os.path.join(prefix, "demo-warm-up.log"), "wb+") as log:
        if subprocess.run([WINE, *args], env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log).returncode != 0:
            log.seek(0)
            print("demo: wine64 %s failed; what Wine said:" % " ".join(args), file=sys.stderr, flush=True)
            sys.stderr.buffer.write(log.read())
            sys.exit(1)


# A persistent, warmed wineserver.
os.makedirs(prefix, exist_ok=True)
subprocess.run(["wineserver", "-p"], env=env, **quiet)
if not os.path.isdir(os.path.join(prefix, "drive_c")):
    print("demo: creating the demo prefix (once)", file=sys.stderr)
    warm_up("wineboot", "-i")
warm_up("cmd", "/c", "exit")

try:
    REGISTRY = [
        (r"HKLM\SYSTEM\CurrentControlSet\Services\Corvex Valmere", "Version", "REG_SZ", "10.8.4.1", None),
        (r"HKLM\SYSTEM\CurrentControlSet\Services\Corvex Valmere Service", "Version", "REG_SZ", "10.8.4.7", None),
        (r"HKLM\SYSTEM\CurrentControlSet\Services\Corvex Lanthorn Service", "Version", "REG_SZ", "3.2.0.15", None),
        (r"HKLM\SYSTEM\CurrentControlSet\services\Corvex Valmere\TamperProtection\Config", "ZELEnabled", "REG_DWORD", "1", None),
        (r"HKLM\SYSTEM\CurrentControlSet\services\Corvex Valmere\TamperProtection\Config", "IgnoreORB", "REG_DWORD", "0", None),
        (r"HKLM\SYSTEM\CurrentControlSet\services\Corvex Valmere\TamperProtection\Config", "orbEnabled", "REG_DWORD", "1", None),
        # The ORB service is a 32-bit program: its key lives in the 32-bit view.
        (r"HKLM\SOFTWARE\Corvex\ORBService\TamperProtection", "Enabled", "REG_DWORD", "1", "/reg:32"),
    ]
    for key, name, kind, data, view in REGISTRY:
        wine("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f", *([view] if view else []),
             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

    data_dir = os.path.join(prefix, "drive_c", "ProgramData", "Corvex", "Valmere")
    os.makedirs(data_dir, exist_ok=True)
    with open(os.path.join(data_dir, "telemetry.log"), "wb") as f:
        f.write(b'"filterLoaded":true,"altitude":"328010","attachedVolumes":3,"lastScanResult":"clean"')

    perf_dir = os.path.join(data_dir, "Logs", "Perf")
    shutil.rmtree(perf_dir, ignore_errors=True)
    # A day of samples, one a minute, in four files, with a reboot in the middle.
    subprocess.run([sys.executable, os.path.join(HERE, "history_writer.py"), perf_dir, "--rows", "1440",
                    "--step-seconds", "60", "--end-ago-seconds", "30", "--files", "4", "--boot-change", "700",
                    "--extra-columns", "4", "--seed", "7"], check=True, stdout=sys.stderr)

    # The unchanged collector beside the pdh.dll stand-in and its counter file.
    bin_dir = os.path.join(prefix, "drive_c", "Program Files", "Corvex", "Valmere")
    os.makedirs(bin_dir, exist_ok=True)
    shutil.copy2(collector, bin_dir)
    shutil.copy2(standin_dll, os.path.join(bin_dir, "pdh.dll"))
    shutil.copy2(os.path.join(HERE, "pdh_standin_dll", "sample_counters.txt"), os.path.join(bin_dir, "pdh_counters.txt"))

    run_env = dict(env, WINEDLLOVERRIDES="mscoree,mshtml=;pdh=n,b")
    result = subprocess.run([WINE, os.path.join(bin_dir, os.path.basename(collector))], env=run_env,
                            stdin=subprocess.DEVNULL, capture_output=True)
finally:
    subprocess.run(["wineserver", "-k"], env=env, **quiet)

sys.stderr.buffer.write(result.stderr)
if result.returncode != 0:
    sys.exit(result.returncode)
sys.stdout.buffer.write(result.stdout)
sys.stdout.write("\n\n" + json.dumps(json.loads(result.stdout), indent=2) + "\n")
