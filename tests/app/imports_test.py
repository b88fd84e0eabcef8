"""The collector imports nothing but Windows system DLLs (it is linked statically)."""
import subprocess
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "ntdll.dll", "pdh.dll", "advapi32.dll", "shell32.dll",
    "ole32.dll", "oleaut32.dll", "user32.dll", "version.dll",
}

objdump, exe = sys.argv[1], sys.argv[2]
dump = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
imports = sorted(line.split("DLL Name:")[1].strip() for line in dump.splitlines() if "DLL Name:" in line)
print("imports:", ", ".join(imports))
foreign = [name for name in imports if name.lower() not in SYSTEM_DLLS]
if not imports or foreign:
    print("not a Windows system DLL:", foreign or "(no imports found)")
    sys.exit(1)
