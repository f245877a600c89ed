#!/usr/bin/env python3
"""The capture of a scan on the emulated Windows machine, next to qir-sim's own capture.

  capture_calls.py windows-numbers CAPTURE DESCRIPTION OUT
      The capture with each device's number as Windows gives it: one number per device
      for every set (its place in DESCRIPTION, from 1), where Wine numbers the devices of
      each set anew from 0. DESCRIPTION is the description in Wine's order.
  capture_calls.py body CAPTURE OUT
      The calls of the capture, one a line, without what the real calls answer
      differently from the simulated platform (docs/emulated-windows.md):
        - the header (host and time);
        - the values of device information sets, handles and the update lock's handles,
          opaque numbers (numbered here in the order they are made);
        - the walk of the all-classes set (the set itself, every call on it and the
          GetLastError that follows one), which on Wine never finds a disk of the disk
          interface set by its number.
"""
import json
import sys

DIGCF_ALLCLASSES = 0x4
DIGCF_DEVICEINTERFACE = 0x10
INTERFACE_CLASSES = {
    "{53F56307-B6BF-11D0-94F2-00A0C91EFB8B}": "disk",
    "{2ACCFE60-C130-11D2-B082-00A0C91EFB8B}": "storage_port",
}


def read(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def write(path, capture):
    with open(path, "w", encoding="utf-8") as f:
        f.write('{"format": %s, "schema": %s,\n "header": %s,\n "calls": [\n'
                % (json.dumps(capture["format"]), json.dumps(capture["schema"]),
                   json.dumps(capture["header"], separators=(",", ":"))))
        f.write(",\n".join("  " + json.dumps(c, separators=(",", ":")) for c in capture["calls"]))
        f.write("\n ]}\n")


def members(devices, call):
    """The description's devices (indices) a SetupDiGetClassDevsW call lists, in order."""
    flags = int(call["flags"], 16)
    if flags & DIGCF_ALLCLASSES:
        return list(range(len(devices)))
    wanted = INTERFACE_CLASSES.get((call.get("class") or "").upper())
    if not (flags & DIGCF_DEVICEINTERFACE) or not wanted:
        return []
    return [i for i, d in enumerate(devices)
            if d.get("class") == wanted and "interface_path" in d]


def windows_numbers(capture, description):
    devices = description["devices"]
    sets = {}  # set value -> (members, Wine's number -> Windows' number)
    for c in capture["calls"]:
        if c["op"] == "get_class_devs" and "set" in c:
            sets[c["set"]] = (members(devices, c), {})
            continue
        if "set" not in c or c["set"] not in sets:
            continue
        listed, numbers = sets[c["set"]]
        if c["op"] == "enum_device_info" and c.get("ok") and c["index"] < len(listed):
            numbers[c["out_dev_inst"]] = listed[c["index"]] + 1
        for key in ("dev_inst", "out_dev_inst"):
            if c.get(key) is not None:
                c[key] = numbers.get(c[key], c[key])
    return capture


def body(capture):
    # Sets and handles are numbered as they are made, since Windows reuses the values of
    # closed ones; a value made earlier stands for the last thing made with it.
    made = {"set": "get_class_devs", "handle": "create_file", "lock": "take_lock"}
    current = {"set": {}, "handle": {}, "lock": {}}
    count = {"set": 0, "handle": 0, "lock": 0}
    walked = set()  # values of the all-classes sets now open
    out = []
    dropped_last = False
    for c in capture["calls"]:
        for key, op in made.items():
            if c["op"] == op and c.get(key) is not None:
                count[key] += 1
                current[key][c[key]] = count[key]
        drop = False
        if c["op"] == "get_class_devs" and int(c["flags"], 16) & DIGCF_ALLCLASSES:
            drop = True
            if "set" in c:
                walked.add(c["set"])
        elif "set" in c and c["set"] in walked:
            drop = True
            if c["op"] == "destroy_device_info_list":
                walked.discard(c["set"])
        elif c["op"] == "get_last_error" and dropped_last:
            drop = True
        dropped_last = drop
        if drop:
            continue
        for key in current:
            if c.get(key) is not None:
                c[key] = current[key].get(c[key], "unknown %s" % c[key])
        out.append(json.dumps(c, sort_keys=True, separators=(",", ":")))
    return "\n".join(out) + "\n"


def main(argv):
    if len(argv) == 5 and argv[1] == "windows-numbers":
        write(argv[4], windows_numbers(read(argv[2]), read(argv[3])))
    elif len(argv) == 4 and argv[1] == "body":
        with open(argv[3], "w", encoding="utf-8") as f:
            f.write(body(read(argv[2])))
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
