#!/usr/bin/python
# The fake host's file removal (state absent): changed only when there was a file.
from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ansible.windows.plugins.module_utils.fake_host import local_path


def main():
    module = AnsibleModule(argument_spec={"path": {"type": "str", "required": True},
                                          "state": {"type": "str", "choices": ["absent"], "required": True}})
    target = local_path(module.params["path"])
    existed = target.is_file()
    if existed:
        target.unlink()
    module.exit_json(changed=existed)


main()
