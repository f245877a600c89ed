#!/usr/bin/python3
# The fake host's reboot: firmware waiting for it becomes active, unless the host's
# drive is set to lose it.
import json
import os
from pathlib import Path

from ansible.module_utils.basic import AnsibleModule

host = Path(os.environ["QIR_FAKE_HOST"])


def main():
    module = AnsibleModule(argument_spec={})
    state_file = host / "state.json"
    state = json.loads(state_file.read_text())
    with open(host / "calls", "a") as calls:
        calls.write("reboot\n")
    if state["revision"] == "pending":
        state["revision"] = "current" if state["activation"] == "reboot" else "old"
    state_file.write_text(json.dumps(state))
    module.exit_json(changed=True, rebooted=True)


main()
