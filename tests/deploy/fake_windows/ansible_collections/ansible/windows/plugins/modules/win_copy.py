#!/usr/bin/python
# The fake host's file copy: a file of the controller into a folder of the host, or the
# given content to a file, changed only when the content differs, as the real module
# reports it.
from pathlib import Path

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.ansible.windows.plugins.module_utils.fake_host import local_path


def main():
    module = AnsibleModule(argument_spec={"src": {"type": "str"}, "content": {"type": "str"},
                                          "dest": {"type": "str", "required": True}},
                           mutually_exclusive=[["src", "content"]],
                           required_one_of=[["src", "content"]])
    dest = module.params["dest"]
    if module.params["src"] is not None:
        src = Path(module.params["src"])
        if not dest.endswith("\\"):
            module.fail_json(msg=f"dest {dest} does not name a folder")
        target = local_path(dest) / src.name
        data = src.read_bytes()
    else:
        target = local_path(dest)
        data = module.params["content"].encode()
    changed = not target.is_file() or target.read_bytes() != data
    if changed:
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
    module.exit_json(changed=changed, dest=dest)


main()
