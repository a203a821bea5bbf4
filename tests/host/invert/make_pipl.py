#!/usr/bin/env python3
"""Writes the PiPL resource of the host's test plug-in (Windows binary form)."""
import struct
import sys


def code(s):
    return struct.pack('<I', int.from_bytes(s.encode('latin-1'), 'big'))


def pad(b):
    return b + b'\0' * (-len(b) % 4)


def prop(key, data):
    data = pad(data)
    return code('8BIM') + code(key) + struct.pack('<II', 0, len(data)) + data


def pstr(s):
    return bytes([len(s)]) + s.encode('latin-1') + b'\0'


def main():
    out = sys.argv[1]
    # Optional: the first byte pair of the mode flags, e.g. 10 00 for RGB only.
    modes = bytes(int(b, 16) for b in sys.argv[2:4]) if len(sys.argv) > 3 else bytes([0x50, 0x30])
    entry = 'PluginMain'
    props = [
        prop('kind', code('8BFM')),
        prop('vers', struct.pack('<I', 4 << 16)),
        prop('8664', entry.encode() + b'\0'),
        prop('name', pstr('Invert (host test)')),
        prop('catg', pstr('Varen Tests')),
        # Default: Gray (1), RGB (3), Gray16 (10), RGB48 (11).
        prop('mode', modes + bytes(2)),
        prop('ms32', struct.pack('<ii', 1000000, 1000000)),
    ]
    with open(out, 'wb') as f:
        f.write(struct.pack('<HII', 1, 0, len(props)) + b''.join(props))


main()
