#!/usr/bin/env python3
"""Rewrites the sequence parameter sets of an Annex B H.264 file in place into
forms x264 never writes: picture order count type 2 becomes the equivalent
type 1, and the SPS of a High-profile stream carries scaling lists (explicit,
"use default" and absent ones, all equal to the default lists the stream was
encoded with: x264 cqm=jvt). Slices are untouched; the pictures stay the same.

Usage: rewrite-h264-sps.py FILE"""
import re
import sys

DEFAULT_4X4_INTRA = [6, 13, 13, 20, 20, 20, 28, 28, 28, 28, 32, 32, 32, 37, 37, 42]
DEFAULT_4X4_INTER = [10, 14, 14, 20, 20, 20, 24, 24, 24, 24, 27, 27, 27, 30, 30, 34]
DEFAULT_8X8_INTRA = [6, 10, 10, 13, 11, 13, 16, 16, 16, 16, 18, 18, 18, 18, 18, 23,
                     23, 23, 23, 23, 23, 25, 25, 25, 25, 25, 25, 25, 27, 27, 27, 27,
                     27, 27, 27, 27, 29, 29, 29, 29, 29, 29, 29, 31, 31, 31, 31, 31,
                     31, 33, 33, 33, 33, 33, 36, 36, 36, 36, 38, 38, 38, 40, 40, 42]
USE_DEFAULT = "default"
# The eight lists of a 4:2:0 SPS; None: not present (falls back to the default or the previous list).
SCALING_LISTS = [DEFAULT_4X4_INTRA, None, USE_DEFAULT, DEFAULT_4X4_INTER, None, None, DEFAULT_8X8_INTRA, USE_DEFAULT]
HIGH_PROFILES = {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135}


class Bits:
    """Reads an RBSP and writes its rewritten copy, bit by bit."""

    def __init__(self, rbsp):
        self.source = "".join(f"{byte:08b}" for byte in rbsp)
        self.at = 0
        self.out = []

    def read(self, count):
        value = int(self.source[self.at:self.at + count], 2) if count else 0
        self.at += count
        return value

    def read_ue(self):
        zeros = 0
        while self.read(1) == 0:
            zeros += 1
        return (1 << zeros) - 1 + self.read(zeros)

    def write(self, count, value):
        if count:
            self.out.append(format(value, f"0{count}b"))

    def write_ue(self, value):
        code = bin(value + 1)[2:]
        self.out.append("0" * (len(code) - 1) + code)

    def write_se(self, value):
        self.write_ue(2 * value - 1 if value > 0 else -2 * value)

    def copy(self, count):
        value = self.read(count)
        self.write(count, value)
        return value

    def copy_ue(self):
        value = self.read_ue()
        self.write_ue(value)
        return value

    def finish(self):
        rest = self.source[self.at:].rstrip("0")[:-1]  # drop the stop bit and the alignment
        bits = "".join(self.out) + rest + "1"
        bits += "0" * (-len(bits) % 8)
        return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def write_scaling_list(bits, values):
    last = 8
    for value in values:
        bits.write_se((value - last + 128) % 256 - 128)
        last = value


def rewrite_sps(rbsp):
    bits = Bits(rbsp)
    profile = bits.copy(8)
    bits.copy(16)  # constraint flags, level_idc
    bits.copy_ue()  # seq_parameter_set_id
    if profile in HIGH_PROFILES:
        if bits.copy_ue() == 3:  # chroma_format_idc
            sys.exit("4:4:4 streams are not handled")
        bits.copy_ue()  # bit_depth_luma_minus8
        bits.copy_ue()  # bit_depth_chroma_minus8
        bits.copy(1)  # qpprime_y_zero_transform_bypass_flag
        if bits.read(1):
            sys.exit("the SPS carries scaling lists already")
        bits.write(1, 1)
        for values in SCALING_LISTS:
            bits.write(1, values is not None)
            if values == USE_DEFAULT:
                bits.write_se(-8)
            elif values is not None:
                write_scaling_list(bits, values)
    bits.copy_ue()  # log2_max_frame_num_minus4
    if bits.read_ue() != 2:
        sys.exit("expected picture order count type 2 (x264 without B-frames)")
    # Type 1 with one reference frame per cycle and a step of 2 counts like type 2.
    bits.write_ue(1)
    bits.write(1, 1)  # delta_pic_order_always_zero_flag
    bits.write_se(1)  # offset_for_non_ref_pic
    bits.write_se(0)  # offset_for_top_to_bottom_field
    bits.write_ue(1)  # num_ref_frames_in_pic_order_cnt_cycle
    bits.write_se(2)  # offset_for_ref_frame[0]
    return bits.finish()


def unescape(payload):
    return re.sub(b"\x00\x00\x03(?=[\x00-\x03])", b"\x00\x00", payload)


def escape(rbsp):
    return re.sub(b"\x00\x00(?=[\x00-\x03])", b"\x00\x00\x03", rbsp)


def main(path):
    data = open(path, "rb").read()
    parts = re.split(b"(\x00\x00\x01)", data)  # units at the even indices, start codes between
    for i in range(2, len(parts), 2):
        unit = parts[i]
        if unit and unit[0] & 0x1F == 7:
            body = unit.rstrip(b"\x00")  # the zeros of a following four-byte start code stay
            parts[i] = unit[:1] + escape(rewrite_sps(unescape(body[1:]))) + unit[len(body):]
    open(path, "wb").write(b"".join(parts))


if __name__ == "__main__":
    main(sys.argv[1])
