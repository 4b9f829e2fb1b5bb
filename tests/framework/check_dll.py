"""Reads the DLL's export and import tables and fails on anything unexpected.

check_dll.py DLL NAME...: the DLL must export exactly the NAMEs."""
import re
import subprocess
import sys

EXPORTS = set(sys.argv[2:])
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "msvcrt.dll"}

dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", sys.argv[1]],
                      check=True, capture_output=True, text=True).stdout
imports = {m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)}
table = dump.split("[Ordinal/Name Pointer] Table", 1)[1] if "[Ordinal/Name Pointer] Table" in dump else ""
exports = set(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", table, re.M))
failures = []
if exports != EXPORTS:
    failures.append(f"exports: extra {sorted(exports - EXPORTS)}, missing {sorted(EXPORTS - exports)}")
if not imports <= ALLOWED_IMPORTS:
    failures.append(f"imports beyond the system DLLs: {sorted(imports - ALLOWED_IMPORTS)}")
if "VS_VERSION_INFO" not in dump and ".rsrc" not in dump:
    failures.append("no resource section: the version resource is missing")
for f in failures:
    print(f)
print(f"exports {sorted(exports)}\nimports {sorted(imports)}")
sys.exit(1 if failures else 0)
