#!/usr/bin/env python3
"""wine_form.py DESCRIPTION OUT: the description as the emulated Windows machine can hold it.

Wine's kernel opens a device whatever its driver answers IRP_MJ_CREATE, so an open can
only be made to fail before it reaches the driver: ERROR_FILE_NOT_FOUND (2) or
ERROR_PATH_NOT_FOUND (3). Any other open error of a device, or of an open fault on every
occurrence, becomes 3, the open that fails although something is there. Each change is
named on standard output. Everything else is left as it is; the installer refuses what
it still cannot hold (docs/emulated-windows.md).
"""
import json
import sys


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        description = json.load(f)
    for i, d in enumerate(description.get("devices", [])):
        if d.get("open_error") not in (None, 2, 3):
            print("devices[%d].open_error %s made 3" % (i, d["open_error"]))
            d["open_error"] = 3
    for i, f in enumerate(description.get("faults", [])):
        if f.get("kind") == "open" and f.get("occurrence") == "every" and \
                f.get("error") not in (None, 2, 3):
            print("faults[%d].error %s made 3" % (i, f["error"]))
            f["error"] = 3
    with open(argv[2], "w", encoding="utf-8") as f:
        json.dump(description, f, indent=1)
        f.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
