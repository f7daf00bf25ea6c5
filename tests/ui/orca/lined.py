# Orca with its debug file written line by line, so that nothing of it is
# lost when Orca is ended: Orca keeps the file in a buffer of its own.
#   python3 lined.py DEBUG-FILE
import builtins
import runpy
import sys

debug_file = sys.argv[1]
_open = builtins.open


def lined(file, mode="r", *args, **kwargs):
    if mode == "w" and str(file) == debug_file and not args and "buffering" not in kwargs:
        return _open(file, mode, 1, **kwargs)
    return _open(file, mode, *args, **kwargs)


builtins.open = lined
sys.argv = ["orca", "--replace", "--debug-file=" + debug_file]
runpy.run_path("/usr/bin/orca", run_name="__main__")
