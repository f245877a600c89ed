#!/usr/bin/python
# The fake host's restart: a warm one, each drive's controller reset.
from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ansible.windows.plugins.module_utils.fake_host import machine, note_call, sim


def main():
    module = AnsibleModule(argument_spec={})
    note_call("reboot")
    rc, _, err = sim("--event", "reboot", "--no-run", "--write-machine", str(machine))
    if rc != 0:
        module.fail_json(msg=f"the host did not come back: {err}")
    module.exit_json(changed=True, rebooted=True)


main()
