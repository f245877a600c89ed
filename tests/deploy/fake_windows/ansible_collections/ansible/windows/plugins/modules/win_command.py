#!/usr/bin/python
# The fake host's programs: qir-scan.exe is the scan and qir.exe the update on the host's
# simulated machine, which the update leaves as it found it afterwards. A program that
# was not copied to the host cannot run.
import json

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ansible.windows.plugins.module_utils.fake_host import (
    host, local_path, machine, note_call, sim)


def main():
    module = AnsibleModule(argument_spec={"argv": {"type": "list", "elements": "str", "required": True}})
    argv = module.params["argv"]
    program = local_path(argv[0])
    note_call(" ".join([program.name] + argv[1:]))
    if not program.is_file():
        module.fail_json(msg=f"{argv[0]} was not copied to the host", rc=2)
    # The paths of the report and the log lie on the host's C: drive.
    args = [a if not a.startswith(("/log=", "/json=")) else a.split("=", 1)[0] + "=" + str(local_path(a.split("=", 1)[1]))
            for a in argv[1:]]
    if program.name == "qir-scan.exe":
        rc, out, err = sim("--scan", "--", *args)
    elif program.name == "qir.exe":
        state = host / "state.json"
        state.unlink(missing_ok=True)
        rc, out, err = sim("--write-machine", str(machine), "--state", str(state), "--", *args)
        # A Linux exit code keeps 8 bits; the run's whole result is in the state.
        result = json.loads(state.read_text())["result_code"] if state.is_file() else None
        rc = result if result is not None else rc
        if rc in (0, 1602):
            note_call("written")
    else:
        module.fail_json(msg=f"unknown program {argv[0]}", rc=1)
    module.exit_json(changed=True, rc=rc, stdout=out, stderr=err)


main()
