"""Builds legacy BIN result files: a fixed header, the companion recording names, then
308-byte records up to the end of the file."""

import struct
from dataclasses import dataclass, field

import numpy as np

BIN_VERSION = 0x80000004
EPOCH = np.datetime64("1899-12-30T00:00:00", "ns")


def date_number(when):
    """A numpy datetime64 as the stored date-time number (days since 1899-12-30)."""
    return (np.datetime64(when, "ns") - EPOCH) / np.timedelta64(1, "D")


@dataclass
class BinRecord:
    x: tuple = (0.0, 15.0, 5.0, 10.0)     # A, B, M, N
    y: tuple = (0.0, 0.0, 0.0, 0.0)
    z: tuple = (0.0, 0.0, 0.0, 0.0)
    vp: float = 250.0
    current: float = 100.0
    sp: float = -3.5
    m: float = 12.5
    tm: tuple = (100.0, 200.0)
    windows: tuple = (20.0, 10.0)
    delay: float = 40.0
    pulse: float = 2000.0
    ignore: int = 0
    channel: int = 1
    flags: int = 0b0100
    orig: bytes = b"ORIG0001.DAT"
    gps: tuple = (4530.0, 120.0)
    stacks: float = 5.0                  # stored value; the reader adds 2
    rs: float = 1.5
    vab: float = 400.0
    tx_bat: float = 124.0
    rx_bat: float = 118.0
    temp: float = 21.0
    date: float = 45069.6
    i_index: int = 0
    v_index: int = 1
    version: int = 3
    disposition: int = 9

    def bytes(self):
        tm = list(self.tm) + [0.0] * (20 - len(self.tm))
        windows = list(self.windows) + [0.0] * (20 - len(self.windows))
        out = struct.pack("<hhffhh", self.disposition, self.version, self.pulse, self.delay, 0, self.ignore)
        out += struct.pack("<4f4f4f", *self.x, *self.y, *self.z)
        out += struct.pack("<ffffff", self.sp, self.vp, self.current, 0.0, self.m, 0.0)
        out += struct.pack("<20f20f", *tm, *windows)
        out += struct.pack("<BBh", self.channel, self.flags, 0) + self.orig[:12].ljust(12, b"\0")
        out += struct.pack("<8fdhh", *self.gps, self.stacks, self.rs, self.vab, self.tx_bat, self.rx_bat, self.temp,
                           self.date, self.i_index, self.v_index)
        assert len(out) == 308
        return out


@dataclass
class BinFileBuilder:
    folder: bytes = b"D:\\survey"
    names: list = field(default_factory=lambda: [b"in12-345@051723_143000.iab", b"vp34-678@051723_143000.vmn"])
    records: list = field(default_factory=list)
    version: int = BIN_VERSION
    header_byte: int = 9

    def bytes(self):
        out = struct.pack("<IB", self.version, self.header_byte) + bytes(1024) + self.folder.ljust(260, b"\0")
        out += struct.pack("<H", len(self.names))
        for name in self.names:
            out += struct.pack("<H", len(name) + 1) + name + b"\0"
        return out + b"".join(record.bytes() for record in self.records)

    def save(self, path):
        path.write_bytes(self.bytes())
        return path
