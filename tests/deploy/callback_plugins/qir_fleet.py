# Records a playbook run for the fleet's judgement: the task each host failed at, with
# its message, and each host's recap, as JSON in the file QIR_FLEET_RESULT names.
import json
import os

from ansible.plugins.callback import CallbackBase

DOCUMENTATION = """
name: qir_fleet
type: aggregate
short_description: the fleet test's record of a run
description: Writes the failed task of each host and the recap to QIR_FLEET_RESULT.
"""


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = "aggregate"
    CALLBACK_NAME = "qir_fleet"
    CALLBACK_NEEDS_ENABLED = True

    def __init__(self):
        super().__init__()
        self.failed = {}

    def v2_runner_on_failed(self, result, ignore_errors=False):
        if not ignore_errors:
            self.failed[result._host.get_name()] = {"task": result._task.get_name(),
                                                    "msg": result._result.get("msg", "")}

    def v2_playbook_on_stats(self, stats):
        recap = {host: stats.summarize(host) for host in sorted(stats.processed)}
        with open(os.environ["QIR_FLEET_RESULT"], "w") as out:
            json.dump({"failed": self.failed, "stats": recap}, out, indent=1)
