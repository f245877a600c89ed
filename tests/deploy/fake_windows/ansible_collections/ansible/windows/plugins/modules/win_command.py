#!/usr/bin/python3
# The fake host's programs, for the playbook's reruns. qir-scan.exe answers from the
# drive's state; qir.exe updates a drive still on the old revision and, like the real
# tool, ends with 1 where no drive is left to update.
import json
import os
from pathlib import Path

from ansible.module_utils.basic import AnsibleModule

host = Path(os.environ["QIR_FAKE_HOST"])


def main():
    module = AnsibleModule(argument_spec={"argv": {"type": "list", "elements": "str", "required": True}})
    argv = module.params["argv"]
    program = host / argv[0].replace("C:\\", "").replace("\\", "/")
    state_file = host / "state.json"
    state = json.loads(state_file.read_text())
    name = program.name
    with open(host / "calls", "a") as calls:
        calls.write(" ".join([name] + argv[1:]) + "\n")
    if not program.is_file():
        module.fail_json(msg=f"{argv[0]} was not copied to the host", rc=2)
    if name == "qir-scan.exe":
        rc = state.get("scan_rc", 0 if state["revision"] == "current" else 1)
    elif name == "qir.exe":
        if argv[1:] != ["/s", "/log=C:\\Windows\\Logs\\qir.log"]:
            module.fail_json(msg=f"unexpected arguments {argv[1:]}", rc=1)
        if state["revision"] == "current":
            rc = 1
        elif state["activation"] == "now":
            state["revision"], rc = "current", 0
        else:
            state["revision"], rc = "pending", 1602
        state_file.write_text(json.dumps(state))
    else:
        module.fail_json(msg=f"unknown program {argv[0]}", rc=1)
    module.exit_json(changed=True, rc=rc, stdout="", stderr="")


main()
