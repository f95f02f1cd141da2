"""Peak memory of one operation, measured in a process of its own.

Run by run.py as `python memory.py <contender> <test cases> <document file> [<shape>]`.
The input is prepared first; then the kernel's high-water mark is reset, the
operation runs, and the growth of the peak resident set over the resident set
before the operation is printed as JSON (bytes), with the result's size.
"""

from __future__ import annotations

import gc
import json
import sys

import contenders
import dataset


def _status_kib(field: str) -> int:
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise RuntimeError(f"{field} missing from /proc/self/status")


def _reset_peak() -> None:
    # Writing 5 to clear_refs resets VmHWM to the current resident set.
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")


def main() -> None:
    name, size, document_path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    shape = sys.argv[4] if len(sys.argv) > 4 else dataset.DEFAULT_SHAPE
    contender = next(c for c in contenders.CONTENDERS if c.name == name)
    if contender.input in ("data", "clean_data", "report"):
        value = dataset.generate(size, shape=shape)
        if contender.input == "clean_data":
            value = dataset.without_escapes(value)
        elif contender.input == "report":
            value = contenders.corvane_build(value)
    else:
        with open(document_path, "rb") as file:
            value = file.read()
        if contender.input == "str":
            value = value.decode()
    # Import everything the operation needs before measuring.
    __import__(contender.library)
    gc.collect()
    _reset_peak()
    before = _status_kib("VmRSS")
    result = contender.run(value)
    peak = _status_kib("VmHWM")
    output = len(result) if isinstance(result, (str, bytes)) else None
    print(json.dumps({"peak_growth": (peak - before) * 1024, "output_length": output}))


if __name__ == "__main__":
    main()
