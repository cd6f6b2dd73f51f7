#!/usr/bin/env python3
"""Prints the scrambled bytes of a HiddenString constant as a C++ array initialiser.

Usage: scramble-string.py SEED TEXT [KEY0 KEY1 KEY2 KEY3]

SEED and the key bytes take any integer notation Python reads (0x9B, 155). The key
bytes default to HiddenStringKeyTable in src/cleaners/HiddenString.cpp; keep the two
in step. Every character of TEXT must be below U+0100, since each one becomes one byte.

Unit i of the text is (scrambled[i] ^ ((seed + key[i % 4]) & 0xFF)) ^ 0x80, so the
scrambled byte is the same expression applied to the character.
"""
import sys

DEFAULT_KEY = [0x3D, 0xA7, 0x5E, 0xC1]


def scramble(seed, text, key):
    out = []
    for i, ch in enumerate(text):
        unit = ord(ch)
        if unit > 0xFF:
            raise ValueError("character %r at %d is beyond U+00FF" % (ch, i))
        out.append(unit ^ 0x80 ^ ((seed + key[i % 4]) & 0xFF))
    return out


def main(argv):
    if len(argv) not in (3, 7):
        sys.exit(__doc__)
    seed = int(argv[1], 0) & 0xFF
    text = argv[2]
    key = [int(k, 0) & 0xFF for k in argv[3:7]] if len(argv) == 7 else DEFAULT_KEY
    data = scramble(seed, text, key)
    print("// %d bytes, seed 0x%02X: %s" % (len(data), seed, text))
    for start in range(0, len(data), 12):
        print("    " + ", ".join("0x%02X" % b for b in data[start:start + 12]) + ",")


if __name__ == "__main__":
    main(sys.argv)
