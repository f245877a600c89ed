#!/usr/bin/env python3
"""A simulated fleet for the playbook, and the judgement of a run of it.

  fleet.py make DIR HOSTS SEED [KIND,...]
                                 hosts of every kind below, or of those named (then drawn
                                 by the seed), each a folder with its machine and its own
                                 Python for Ansible, and DIR/inventory.yml
  fleet.py host DIR KIND         one host of that kind with one drive, in folder DIR, and
                                 an inventory of it alone beside DIR
  fleet.py judge DIR RUN         checks DIR/result-RUN.json (the callback's record of run
                                 RUN, 1 or 2) against what each host's kind must show

QIR_SIM names qir-sim and QIR_SOURCE_DIR the repository.
"""
import json
import os
import random
import subprocess
import sys
from pathlib import Path

SIM = os.environ["QIR_SIM"]
SOURCE = Path(os.environ["QIR_SOURCE_DIR"])
IMAGE_REVISION = "VDL9K2QC"

# The tasks a host can fail at, as the playbook names them.
SCAN = "Scan the drives"
UPDATE = "Update the firmware"
SCAN_AGAIN = "Scan again"
SHUTDOWN = "Fail a host whose drive needs a full shutdown"
NOT_AGAIN = "Fail a host that a restart did not finish"
RUNNING = "Fail a host where another update runs now"
ON_BATTERY = "Fail a host that runs on battery"


def inbox_machine(drives, **drive_keys):
    """Inbox disks of the maker, each with a drive of an eligible revision."""
    devices, drive_list = [], []
    for n in range(1, drives + 1):
        drive_list.append({"id": f"d{n}", "serial": f"KV24F010{n:04d}", "model": "KORVANE TX7Q3 1TB",
                           "firmware": "VDL7W2QA", "fwug": 8,
                           "slots": {"count": 2, "slot1_read_only": True}, **drive_keys})
        devices.append({"class": "disk", "instance_id": f"SCSI\\DISK&VEN_NVME&PROD_KORVANE\\5&{n}",
                        "parent_id": f"PCI\\VEN_1D7A&DEV_0100&SUBSYS_00011D7A\\4&{n}",
                        "hardware_ids": ["SCSI\\DiskNVMe____KORVANE_TX7Q3", "GenDisk"],
                        "interface_path": f"\\\\?\\scsi#disk&ven_nvme#5&{n}#{{53f56307-b6bf-11d0-94f2-00a0c91efb8b}}",
                        "device_number": n, "driver": "inbox", "drive": f"d{n}"})
    return {"devices": devices, "drives": drive_list}


def after_run(machine, folder, faults=(), event=None):
    """The machine as a run of qir.exe left it (interrupted by `faults`), then `event`."""
    start = folder / "start.json"
    start.write_text(json.dumps({**machine, "faults": list(faults)}))
    subprocess.run([SIM, "--machine", str(start), "--write-machine", str(folder / "machine.json"),
                    "--", "/s"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    start.unlink()
    if event:
        subprocess.run([SIM, "--machine", str(folder / "machine.json"), "--event", event, "--no-run",
                        "--write-machine", str(folder / "machine.json")], check=True)
    return None


def example(name):
    return json.loads((SOURCE / "sim" / "machines" / f"{name}.json").read_text())


KILL_AT_THIRD_PIECE = [{"kind": "inbox.download", "occurrence": 3, "interrupt": "kill"}]
CUT_AT_THIRD_PIECE = [{"kind": "inbox.download", "occurrence": 3, "interrupt": "power_cut"}]

# kind: (machine maker(drives, folder), failure of run 1, failure of run 2). A maker that
# returns None has written machine.json itself. The first twelve make the fleet of the
# test in ./test; a bigger fleet has every kind and draws the rest by the seed.
KINDS = {
    # RST members at a reset, the pass-through and an inbox drive at a power cycle: after
    # the restart the pass-through still reports its old revision.
    "example_default": (lambda n, f: example("default"), SHUTDOWN, NOT_AGAIN),
    # One VROC port refuses the open: the drives behind the others are updated, and every
    # scan after that is incomplete.
    "example_vroc_raid": (lambda n, f: example("vroc_raid"), SCAN_AGAIN, SCAN),
    "example_vroc_non_raid": (lambda n, f: example("vroc_non_raid"), None, None),
    "example_empty": (lambda n, f: example("empty"), None, None),
    "current": (lambda n, f: inbox_machine(n, firmware=IMAGE_REVISION), None, None),
    "reset": (lambda n, f: inbox_machine(n), None, None),
    "failing_drive": (lambda n, f: {**inbox_machine(n), "faults": [
        {"kind": "inbox.download", "occurrence": "every", "return_code": 7}]}, UPDATE, UPDATE),
    "access_denied": (lambda n, f: {**inbox_machine(n), "faults": [
        {"kind": "open", "occurrence": "every", "error": 5}]}, SCAN, SCAN),
    "power_cycle_drive": (lambda n, f: inbox_machine(n, activation="power_cycle"), SHUTDOWN, NOT_AGAIN),
    "killed_earlier_run": (lambda n, f: after_run(inbox_machine(n), f, KILL_AT_THIRD_PIECE), None, None),
    # A drive that refuses overlapping pieces keeps refusing until a restart drops them.
    "killed_earlier_run_overlap": (lambda n, f: after_run(inbox_machine(n, detect_overlap=True), f,
                                                          KILL_AT_THIRD_PIECE), UPDATE, UPDATE),
    # An earlier run ended with 1602 and the restart has not come yet.
    "restart_pending": (lambda n, f: after_run(inbox_machine(n), f), None, None),
    "immediate": (lambda n, f: inbox_machine(n, activation="immediate"), None, None),
    "power_lost_earlier_run": (lambda n, f: after_run(inbox_machine(n), f, CUT_AT_THIRD_PIECE), None, None),
    # A laptop away from its charger: nothing is started until it is plugged in.
    "on_battery": (lambda n, f: {**inbox_machine(n), "power": {
        "ac_line": "offline", "battery_present": True, "battery_percent": 64}}, ON_BATTERY, ON_BATTERY),
    # Another process holds the update's mutex (a technician's qir.exe, another tool).
    "update_running": (lambda n, f: {**inbox_machine(n), "update_running": True}, RUNNING, RUNNING),
}

PYTHON_WRAPPER = """#!/bin/sh
# The host's Python for Ansible: its modules act on this host's folder, and a file that
# a module opens on C: lies there too (fake_windows/host_python).
QIR_FAKE_HOST='{host}' PYTHONPATH='{site}' exec '{python}' "$@"
"""


def make_host(host, kind, drives):
    """The host's folder with its machine of that kind; its inventory entry."""
    (host / "Windows" / "Logs").mkdir(parents=True)
    machine = KINDS[kind][0](drives, host)
    if machine is not None:
        (host / "machine.json").write_text(json.dumps(machine))
    wrapper = host / "python"
    wrapper.write_text(PYTHON_WRAPPER.format(host=host, python=sys.executable,
                                             site=Path(__file__).parent / "fake_windows" / "host_python"))
    wrapper.chmod(0o755)
    return f"    {host.name}:\n      ansible_python_interpreter: {wrapper}\n"


def write_inventory(path, entries):
    path.write_text("qir_targets:\n  vars:\n    ansible_connection: local\n  hosts:\n" +
                    "".join(entries))


def make(folder, hosts, seed, kinds=None):
    folder = Path(folder)
    draw = random.Random(seed)
    kinds = kinds or list(KINDS)
    chosen = kinds[:hosts] + [draw.choice(kinds) for _ in range(hosts - len(kinds))]
    inventory, expected = [], {}
    for i, kind in enumerate(chosen, 1):
        name = f"ws-{i:04d}"
        inventory.append(make_host(folder / "hosts" / name, kind, draw.randint(1, 3)))
        expected[name] = {"kind": kind, "fails": [KINDS[kind][1], KINDS[kind][2]]}
    write_inventory(folder / "inventory.yml", inventory)
    (folder / "expected.json").write_text(json.dumps(expected, indent=1))


def scan_code(host):
    return subprocess.run([SIM, "--machine", str(host / "machine.json"), "--scan"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


def judge(folder, run):
    """Prints the run's recap; the problems found, one a line, on standard error."""
    folder = Path(folder)
    expected = json.loads((folder / "expected.json").read_text())
    result = json.loads((folder / f"result-{run}.json").read_text())
    problems = []
    totals = {"ok": 0, "changed": 0, "failed": 0}
    tasks = {key: sum(stats[key] for stats in result["stats"].values())
             for key in ("ok", "changed", "failures", "skipped", "unreachable")}
    reasons = {}
    for name, want in expected.items():
        stats = result["stats"].get(name)
        if stats is None:
            problems.append(f"{name}: not in the recap")
            continue
        failed_task = result["failed"].get(name, {}).get("task")
        must_fail = want["fails"][run - 1]
        totals["changed"] += stats["changed"] > 0
        totals["failed" if failed_task else "ok"] += 1
        if failed_task:
            reasons.setdefault(failed_task, []).append(name)
        if not (failed_task or "").startswith(must_fail or "\0") and (failed_task or must_fail):
            problems.append(f"{name} ({want['kind']}): failed at {failed_task!r}, expected {must_fail!r}")
        if run == 2 and stats["changed"]:
            problems.append(f"{name} ({want['kind']}): changed {stats['changed']} on the second run")
        if stats["unreachable"]:
            problems.append(f"{name}: unreachable")
        host = folder / "hosts" / name
        if not must_fail and scan_code(host) != 0:
            problems.append(f"{name} ({want['kind']}): the scan after the run is not 0")
        calls = (host / "calls").read_text().split("\n") if (host / "calls").exists() else []
        if calls.count("written") > 1:
            problems.append(f"{name} ({want['kind']}): the image was written {calls.count('written')} times")
    print(f"run {run}: {len(expected)} hosts: {totals['ok']} ok, {totals['failed']} failed, "
          f"{totals['changed']} changed; tasks ok={tasks['ok']} changed={tasks['changed']} "
          f"failed={tasks['failures']} skipped={tasks['skipped']} unreachable={tasks['unreachable']}")
    for task, names in sorted(reasons.items()):
        kinds = sorted({expected[n]["kind"] for n in names})
        print(f"  failed at \"{task}\": {len(names)} ({', '.join(kinds)})")
    for p in problems:
        print("PROBLEM: " + p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    if sys.argv[1:2] == ["make"] and len(sys.argv) in (5, 6):
        make(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5].split(",") if len(sys.argv) == 6 else None)
    elif sys.argv[1:2] == ["host"] and len(sys.argv) == 4:
        host = Path(sys.argv[2])
        write_inventory(host.parent / "inventory.yml", [make_host(host, sys.argv[3], 1)])
    elif sys.argv[1:2] == ["judge"] and len(sys.argv) == 4:
        sys.exit(judge(sys.argv[2], int(sys.argv[3])))
    else:
        sys.exit(__doc__)
