#!/usr/bin/python3
# The fake host's file copy: into the host's folder, changed only when the content
# differs, as the real module reports it.
import os
import shutil
from pathlib import Path

from ansible.module_utils.basic import AnsibleModule

host = Path(os.environ["QIR_FAKE_HOST"])


def main():
    module = AnsibleModule(argument_spec={"src": {"type": "str", "required": True},
                                          "dest": {"type": "str", "required": True}})
    src = Path(module.params["src"])
    dest = module.params["dest"]
    if not dest.endswith("\\"):
        module.fail_json(msg=f"dest {dest} does not name a folder")
    target = host / dest.replace("C:\\", "").replace("\\", "/") / src.name
    changed = not target.is_file() or target.read_bytes() != src.read_bytes()
    if changed:
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(src, target)
    module.exit_json(changed=changed, dest=str(target))


main()
