#!/usr/bin/python
# The fake host's file information: whether the file exists.
from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ansible.windows.plugins.module_utils.fake_host import local_path


def main():
    module = AnsibleModule(argument_spec={"path": {"type": "str", "required": True}})
    module.exit_json(changed=False, stat={"exists": local_path(module.params["path"]).exists()})


main()
