"""Checks a release zip holds only what the commit decides: its entries in
order, each a regular file with mode 644 made on Unix, bearing the commit's
time in UTC and no extra field (user and group ids, local times).
  python3 zip_check.py ZIP EPOCH NAME...
"""
import sys
import time
import zipfile

zip_path, epoch, names = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
# Zip times have two-second steps; Info-ZIP rounds an odd second up.
expected_time = time.gmtime(epoch + epoch % 2)[:6]
faults = []
with zipfile.ZipFile(zip_path) as z:
    entries = z.infolist()
    if [e.filename for e in entries] != names:
        faults.append(f"entries {[e.filename for e in entries]}, not {names}")
    for e in entries:
        mode = e.external_attr >> 16
        if e.create_system != 3 or mode != 0o100644:
            faults.append(f"{e.filename}: made on system {e.create_system} with mode {mode:o}, not 3 and 100644")
        if e.date_time != expected_time:
            faults.append(f"{e.filename}: time {e.date_time}, not the commit's {expected_time} (UTC)")
        if e.extra:
            faults.append(f"{e.filename}: extra fields {e.extra.hex()}")
for fault in faults:
    print(fault)
sys.exit(1 if faults else 0)
