# The fake host behind every stand-in module: a folder of this machine (QIR_FAKE_HOST)
# that holds the host's C: drive and its simulated machine, machine.json, which qir-sim
# (QIR_SIM) runs the programs on and restarts.
import os
import subprocess
from pathlib import Path

host = Path(os.environ["QIR_FAKE_HOST"])
machine = host / "machine.json"


def local_path(windows_path):
    """The host folder's file for a path on the host's C: drive."""
    if not windows_path.upper().startswith("C:\\"):
        raise ValueError(f"{windows_path} is not on C:")
    return host / windows_path[3:].replace("\\", "/")


def note_call(text):
    with open(host / "calls", "a") as calls:
        calls.write(text + "\n")


def sim(*args):
    """qir-sim on the host's machine; its exit code and standard output."""
    done = subprocess.run([os.environ["QIR_SIM"], "--machine", str(machine), *args],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    return done.returncode, done.stdout, done.stderr
