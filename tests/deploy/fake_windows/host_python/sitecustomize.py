# The fake host's C: drive for the modules that read a file of the host themselves
# (ansible.builtin.slurp): a path on C: opens the file in the host's folder, QIR_FAKE_HOST,
# as fake_host.local_path maps it for the stand-ins of ansible.windows.
import builtins
import os

_open = builtins.open


def _host_open(file, *args, **kwargs):
    if isinstance(file, str) and file[:3].upper() == "C:\\" and "QIR_FAKE_HOST" in os.environ:
        file = os.path.join(os.environ["QIR_FAKE_HOST"], file[3:].replace("\\", "/"))
    return _open(file, *args, **kwargs)


builtins.open = _host_open
