"""Builds full-wave recordings byte by byte: 528-byte pages of 132 little-endian words."""

import struct

import numpy as np

PAGE_BYTES = 528
PAGE_WORDS = 132


def _header(ctrl, name, date):
    page = bytearray(PAGE_BYTES)
    page[0] = ord(ctrl)
    page[1:1 + min(len(name), 11)] = name[:11]
    struct.pack_into("<i", page, 12, date)
    return page


def config_page(n_channel=3, date=1700000000, gmt_offset=0.0, input_voltage=1, electrodes=None,
                gps=(4530.25, -12.5, 120.5), in_rx=1.25, move=(2.0, -3.0), config=0, multi_tx_key=0,
                time_set=0, data_n_10_ms=0, rs=(1.5, 2.5), bat=125, temp=23, name=b"RAW_CONFIG"):
    """A configuration page; electrodes is a list of 13 (x, y) rows (default: 5 m spacing)."""
    page = _header("C", name, date)
    rows = electrodes if electrodes is not None else [(5.0 * r, 0.0) for r in range(13)]
    for r, (x, y) in enumerate(rows):
        struct.pack_into("<ff", page, 16 + 8 * r, x, y)
    struct.pack_into("<fff", page, 120, gps[0], gps[1], in_rx)
    struct.pack_into("<Iif", page, 132, n_channel, input_voltage, gmt_offset)
    struct.pack_into("<fff", page, 144, gps[2], move[0], move[1])
    struct.pack_into("<iiii", page, 156, data_n_10_ms, config, multi_tx_key, time_set)
    struct.pack_into("<ffHh", page, 172, rs[0], rs[1], bat, temp)
    return bytes(page)


def data_page(first, values, pps=None, name=b"RAW", date=1700000000):
    """A data page of consecutive samples numbered from `first`; values is (samples, channels)
    and must fit in one page. pps holds the sample numbers that carry the GPS pulse."""
    values = np.asarray(values, dtype=np.float32)
    count, channels = values.shape
    assert 4 + count * (channels + 1) <= PAGE_WORDS, "too many samples for one page"
    pulses = set(pps or ())
    page = _header("R", name, date)
    word = 4
    for k in range(count):
        number = first + k
        struct.pack_into("<I", page, 4 * word, number << 8 | (channels & 0xF) << 4 | (1 if number in pulses else 0))
        page[4 * (word + 1):4 * (word + 1 + channels)] = values[k].tobytes()
        word += channels + 1
    return bytes(page)


def samples_per_page(channels):
    return 128 // (channels + 1)


class RecordingBuilder:
    """A recording as bytes: starts made of a configuration page and the data pages of
    consecutive samples that follow it."""

    def __init__(self):
        self.pages = []

    def page(self, page):
        self.pages.append(page)
        return self

    def data(self, first, values, pps=None):
        """Data pages for values (samples, channels) numbered from `first`."""
        values = np.asarray(values, dtype=np.float32)
        per_page = samples_per_page(values.shape[1])
        for done in range(0, len(values), per_page):
            self.page(data_page(first + done, values[done:done + per_page], pps=pps))
        return self

    def start(self, values, first=0, pps=None, **config):
        values = np.asarray(values, dtype=np.float32)
        self.page(config_page(n_channel=values.shape[1], **config))
        return self.data(first, values, pps=pps)

    def bytes(self):
        return b"".join(self.pages)

    def save(self, path):
        with open(path, "wb") as out:
            out.write(self.bytes())
        return path


def square_wave(samples, channels, period=200, amplitude=120.0):
    """A square wave per channel, channel c scaled by 1 / (c + 1), as float32."""
    k = np.arange(samples)[:, None]
    c = np.arange(channels)[None, :]
    sign = np.where((k // (period // 2)) % 2 == 0, 1.0, -1.0)
    return (sign * amplitude / (c + 1) + 0.25 * c).astype(np.float32)
