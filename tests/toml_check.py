"""Parses the settings files that the Windows tests saved with Python's own
TOML parser and checks that every value comes back exactly as saved."""
import pathlib
import sys
import tomllib

folder = pathlib.Path(sys.argv[1])
cases = sorted(folder.glob("*.toml"))
if not cases:
    # The saving cases write the user's own settings file, so they run only
    # in the disposable Wine prefix; without their files there is nothing to check.
    print(f"skipped: no saved settings files in {folder} (the saving cases did not run)")
    sys.exit(77)
failed = 0
for toml_file in cases:
    expect = dict(line.split("=", 1) for line in toml_file.with_suffix(".expect").read_text().splitlines())
    raw = toml_file.read_bytes()
    table = tomllib.loads(raw.decode("utf-8"))["NNTP"]
    want = {key: bytes.fromhex(expect[key]).decode("utf-8") for key in ("Host", "User", "Pass")}
    want["Conns"] = int(expect["Conns"])
    want["Anonimize"] = expect["Anonimize"] == "true"
    want["Port"] = 563
    ok = table == want and not raw.startswith(b"\xef\xbb\xbf")
    failed += not ok
    print(("ok  " if ok else "BAD ") + toml_file.name + ("" if ok else f": {table!r} != {want!r}"))
print(f"{len(cases) - failed} passed, {failed} failed")
sys.exit(1 if failed else 0)
