#!/usr/bin/env python3
"""Writes tests/fixtures/dxva_expected.json: for every case of the data set,
what ffmpeg's trace_headers says the decoder must hand the hardware, frame by
frame, for the dump comparison (tests/e2e/dxva_dump.test.js).

H.265: the picture order count (clause 8.3.1), the order counts of the
pictures the slice's short-term set marks as used by the current picture
(before and after it, in the set's order), and the bit length of the
st_ref_pic_set coded in the slice header (0 when the slice takes one of the
SPS's). H.264: frame_num, the picture order count (clause 8.2.1, any of
the three types; the top field's, which frames without a bottom delta share
with the bottom) and the frame_num of each short-term reference held when
the picture is decoded (sliding window of max_num_ref_frames).

Needs ffmpeg; the output is committed, so the tests do not.
usage: python3 tools/make-dxva-expected.py
"""
import json
import os
import re
import sys
import tempfile

from dxva_trace import first, trace

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..")
DATA = os.path.join(ROOT, "data")
FRAMES = 30
# The cases in the order the benchmark runs them.
SIZES = ["1280_720", "1920_1080", "2560_1440", "3840_2160"]
FRAME_HEADER_BYTES = 5


def hevc_case(packets):
    sps = None
    frames = []
    previous_tid0_poc = 0
    for packet in packets:
        slices = []
        for unit in packet:
            kind = first(unit, "nal_unit_type")
            if kind == 33:
                sps = unit
            elif kind <= 21 and first(unit, "first_slice_segment_in_pic_flag") == 1:
                slices.append((kind, unit))
        if len(slices) != 1:
            sys.exit("make_dxva_expected: a packet without exactly one picture")
        kind, unit = slices[0]
        max_lsb = 1 << (first(sps, "log2_max_pic_order_cnt_lsb_minus4") + 4)
        idr = kind in (19, 20)
        lsb = 0 if idr else first(unit, "slice_pic_order_cnt_lsb")
        if idr:
            msb = 0
        else:
            previous_lsb = previous_tid0_poc & (max_lsb - 1)
            previous_msb = previous_tid0_poc - previous_lsb
            if lsb < previous_lsb and previous_lsb - lsb >= max_lsb // 2:
                msb = previous_msb + max_lsb
            elif lsb > previous_lsb and lsb - previous_lsb > max_lsb // 2:
                msb = previous_msb - max_lsb
            else:
                msb = previous_msb
        poc = msb + lsb
        temporal_id = first(unit, "nuh_temporal_id_plus1") - 1
        sub_layer_non_reference = kind <= 14 and kind % 2 == 0
        if temporal_id == 0 and kind not in range(6, 10) and not sub_layer_non_reference:
            previous_tid0_poc = poc

        before, after, bits = [], [], 0
        if not idr:
            if first(unit, "short_term_ref_pic_set_sps_flag") != 0:
                sys.exit("make_dxva_expected: a slice takes its set from the SPS: not in this data set")
            if first(unit, "inter_ref_pic_set_prediction_flag", 0) != 0:
                sys.exit("make_dxva_expected: a predicted set: not in this data set")
            if first(unit, "num_long_term_pics", 0) or first(unit, "num_long_term_sps", 0):
                sys.exit("make_dxva_expected: long-term pictures: not in this data set")
            # The set runs from the element after the flag up to the next element outside it.
            names = [name for _, name, _ in unit]
            start = names.index("short_term_ref_pic_set_sps_flag") + 1
            end = start
            set_element = re.compile(r"(inter_ref_pic_set_prediction_flag|num_negative_pics|num_positive_pics|"
                                     r"delta_poc_s[01]_minus1|used_by_curr_pic_s[01]_flag)(\[\d+\])?$")
            while set_element.match(names[end]):
                end += 1
            bits = unit[end][0] - unit[start][0]
            values = {name: value for _, name, value in unit[start:end]}
            delta = 0
            for i in range(values["num_negative_pics"]):
                delta -= values[f"delta_poc_s0_minus1[{i}]"] + 1
                if values[f"used_by_curr_pic_s0_flag[{i}]"]:
                    before.append(poc + delta)
            delta = 0
            for i in range(values["num_positive_pics"]):
                delta += values[f"delta_poc_s1_minus1[{i}]"] + 1
                if values[f"used_by_curr_pic_s1_flag[{i}]"]:
                    after.append(poc + delta)
        frames.append({"poc": poc, "before": before, "after": after, "stRpsBits": bits})
    size = [first(sps, "pic_width_in_luma_samples"), first(sps, "pic_height_in_luma_samples")]
    return {"codedWidth": size[0], "codedHeight": size[1], "frames": frames}


def h264_poc(sps, picture, order):
    """The top field order count of a frame; `order` carries what the next frame derives from."""
    kind = first(picture, "nal_unit_type")
    idr = kind == 5
    reference = first(picture, "nal_ref_idc") != 0
    frame_num = first(picture, "frame_num")
    poc_type = first(sps, "pic_order_cnt_type")
    if poc_type == 0:
        if idr:
            order["msb"], order["lsb"] = 0, 0
        max_lsb = 1 << (first(sps, "log2_max_pic_order_cnt_lsb_minus4") + 4)
        lsb = first(picture, "pic_order_cnt_lsb")
        msb = order["msb"]
        if lsb < order["lsb"] and order["lsb"] - lsb >= max_lsb // 2:
            msb += max_lsb
        elif lsb > order["lsb"] and lsb - order["lsb"] > max_lsb // 2:
            msb -= max_lsb
        if reference:
            order["msb"], order["lsb"] = msb, lsb
        return msb + lsb
    max_frame_num = 1 << (first(sps, "log2_max_frame_num_minus4") + 4)
    if idr:
        offset = 0
    elif order["frame_num"] > frame_num:
        offset = order["offset"] + max_frame_num
    else:
        offset = order["offset"]
    order["offset"], order["frame_num"] = offset, frame_num
    if poc_type == 2:
        return 0 if idr else 2 * (offset + frame_num) - (0 if reference else 1)
    cycle = first(sps, "num_ref_frames_in_pic_order_cnt_cycle")
    offsets = [first(sps, f"offset_for_ref_frame[{i}]") for i in range(cycle)]
    absolute = offset + frame_num if cycle else 0
    if not reference and absolute > 0:
        absolute -= 1
    expected = 0
    if absolute > 0:
        count, within = divmod(absolute - 1, cycle)
        expected = count * sum(offsets) + sum(offsets[:within + 1])
    if not reference:
        expected += first(sps, "offset_for_non_ref_pic")
    return expected + first(picture, "delta_pic_order_cnt[0]", 0)


def h264_case(packets):
    sps = None
    frames = []
    order = {"msb": 0, "lsb": 0, "offset": 0, "frame_num": 0}
    held = []  # frame_num of the short-term references, oldest first
    for packet in packets:
        picture = None
        for unit in packet:
            kind = first(unit, "nal_unit_type")
            if kind == 7:
                sps = unit
            elif kind in (1, 5) and picture is None:
                picture = unit
        if picture is None:
            sys.exit("make_dxva_expected: a packet without a slice")
        if first(picture, "adaptive_ref_pic_marking_mode_flag", 0):
            sys.exit("make_dxva_expected: memory management operations: not in this data set")
        frame_num = first(picture, "frame_num")
        if first(picture, "nal_unit_type") == 5:
            held = []
        frames.append({"frame_num": frame_num, "poc": h264_poc(sps, picture, order), "refFrameNums": sorted(held)})
        if first(picture, "nal_ref_idc"):
            held.append(frame_num)
            held = held[-first(sps, "max_num_ref_frames"):]
    frame_mbs_only = first(sps, "frame_mbs_only_flag")
    return {"codedWidth": (first(sps, "pic_width_in_mbs_minus1") + 1) * 16,
            "codedHeight": (first(sps, "pic_height_in_map_units_minus1") + 1) * 16 * (2 - frame_mbs_only),
            "frames": frames}


def main():
    cases = []
    with tempfile.TemporaryDirectory() as work:
        for codec in ("h264", "h265"):
            for size in SIZES:
                stream = os.path.join(work, f"{codec}_{size}")
                with open(stream, "wb") as out:
                    for index in range(FRAMES):
                        with open(os.path.join(DATA, codec, size, f"frame_{index}.frame"), "rb") as frame:
                            out.write(frame.read()[FRAME_HEADER_BYTES:])
                packets = trace(codec, stream, FRAMES)
                case = h264_case(packets) if codec == "h264" else hevc_case(packets)
                cases.append({"codec": codec, "size": size, **case})
    # One frame a line: small enough to read, and a remade file diffs by frame.
    lines = []
    for case in cases:
        head = json.dumps({key: value for key, value in case.items() if key != "frames"})[:-1]
        frames = ",\n    ".join(json.dumps(frame) for frame in case["frames"])
        lines.append(f'  {head}, "frames": [\n    {frames}]}}')
    with open(os.path.join(ROOT, "tests", "fixtures", "dxva_expected.json"), "w") as out:
        out.write("[\n" + ",\n".join(lines) + "\n]\n")


if __name__ == "__main__":
    main()
