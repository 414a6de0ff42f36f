"""A full-wave recording decoded with numpy alone, the way a numpy user would write it.

It is the yardstick the reader is compared with (compare_fullwave.py): whole-array operations
only, no Python loop over pages or samples. It handles the common case and refuses the rest
with ValueError: whole pages only, a configuration page first, no page of another kind, a
channel count from 1 to 15 on each configuration page, page names "RAW_CONFIG" and "RAW", the
first block of every data page of its configuration page's channel count, sample numbers that
start at 0 or 1. As in the reader, a page's blocks end where the channel count changes or the
numbers stop running on by one, and a forward jump between two data pages opens a new start; a
number that goes back is refused.

    /usr/bin/python3 fullwave_numpy_peer.py measure PATH
times read_fullwave(PATH) in this process and prints one JSON line like fullwave_probe's.
"""
import json
import sys
import time

import numpy as np

PAGE_WORDS = 132
CONFIG_NAME = np.frombuffer(b"RAW_CONFIG\0", np.uint8)
DATA_NAME = np.frombuffer(b"RAW\0", np.uint8)


def read_fullwave(path):
    """One (values, pps) pair per start: values float64 of shape (samples, channels), pps bool."""
    words = np.fromfile(path, dtype="<u4")
    if words.size % PAGE_WORDS:
        raise ValueError("not a whole number of pages")
    if not words.size:
        raise ValueError("empty file")
    pages = words.reshape(-1, PAGE_WORDS)
    head = words.view(np.uint8).reshape(len(pages), -1)[:, :12]
    is_config = head[:, 0] == ord("C")
    is_data = head[:, 0] == ord("R")
    if not is_config[0] or not (is_config | is_data).all():
        raise ValueError("first page not a configuration page, or a page of another kind")
    if not ((head[is_config, 1:12] == CONFIG_NAME).all() and (head[is_data, 1:5] == DATA_NAME).all()):
        raise ValueError("page names other than RAW_CONFIG and RAW")
    configs = np.flatnonzero(is_config)
    starts = []
    for first, end in zip(configs + 1, np.append(configs[1:], len(pages))):
        channels = int(pages[first - 1, 33])
        if not 1 <= channels <= 15:
            raise ValueError(f"channel count {channels} instead of one from 1 to 15")
        stride = channels + 1
        per_page = 128 // stride
        blocks = pages[first:end, 4:4 + per_page * stride].reshape(end - first, per_page, stride)
        header = blocks[:, :, 0]
        numbers = (header >> 8).astype(np.int32)  # 24 bits: differences fit
        step = np.diff(numbers.ravel())
        jumps = np.flatnonzero(step != 1) + 1
        if (((header >> 4) & 0xF) == channels).all() and not (jumps % per_page).any():
            # The common case, every page full of blocks that run on: views, and one copy
            # into float64, with no more passes over the file than that case needs.
            samples, header, numbers = blocks[:, :, 1:], header.ravel(), numbers.ravel()
        else:
            # As in the reader, a page's blocks end where the channel count changes or the
            # numbers stop running on by one (a page partly filled, as the last of a start
            # often is).
            kept = np.logical_and.accumulate((((header >> 4) & 0xF) == channels)
                                             & (numbers - numbers[:, :1] == np.arange(per_page)), axis=1)
            if not kept[:, 0].all():
                raise ValueError("a data page whose first block is not of the configured channel count")
            samples, header, numbers = blocks[:, :, 1:][kept], header[kept], numbers[kept]
            step = np.diff(numbers)
            jumps = np.flatnonzero(step != 1) + 1
        if len(numbers) and numbers[0] > 1:
            raise ValueError("sample numbers of a start begin above 1")
        if (step[jumps - 1] < 1).any():
            raise ValueError("sample numbers go back")
        values = samples.view("<f4").astype(np.float64).reshape(-1, channels)
        pps = (header & 1).astype(bool)
        starts += zip(np.split(values, jumps), np.split(pps, jumps))
    return starts


def peak_memory_kb():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))


def measure(mode, read, usage):
    """The command line `measure PATH`: times read(PATH) and prints one JSON line."""
    if len(sys.argv) != 3 or sys.argv[1] != "measure":
        sys.exit(usage)
    baseline = peak_memory_kb()
    t0 = time.perf_counter()
    result = read(sys.argv[2])
    seconds = time.perf_counter() - t0
    print(json.dumps({"mode": mode, "seconds": seconds, "vmhwm_kb": peak_memory_kb(),
                      "baseline_kb": baseline, "starts": len(result)}))


if __name__ == "__main__":
    measure("numpy", read_fullwave, __doc__)
