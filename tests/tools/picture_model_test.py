#!/usr/bin/env python3
"""Hand-worked cases of picture_model.py: small streams written as the syntax
elements a trace would show, with the results worked out on paper from the
standards' clauses. usage: python3 tests/tools/picture_model_test.py"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from picture_model import Elements, H264Model, HevcModel, short_term_set  # noqa: E402


def unit(*pairs):
    """A NAL unit of (name, value) pairs, one bit each."""
    return [(position, name, value) for position, (name, value) in enumerate(pairs)]


def h264_sps(max_refs, poc_type=0, gaps=0, extra=()):
    return unit(("forbidden_zero_bit", 0), ("nal_ref_idc", 3), ("nal_unit_type", 7), ("seq_parameter_set_id", 0),
                ("log2_max_frame_num_minus4", 0), ("pic_order_cnt_type", poc_type),
                ("log2_max_pic_order_cnt_lsb_minus4", 0), *extra, ("max_num_ref_frames", max_refs),
                ("gaps_in_frame_num_allowed_flag", gaps), ("pic_width_in_mbs_minus1", 1),
                ("pic_height_in_map_units_minus1", 1), ("frame_mbs_only_flag", 1))


H264_PPS = unit(("forbidden_zero_bit", 0), ("nal_ref_idc", 3), ("nal_unit_type", 8), ("pic_parameter_set_id", 0),
                ("seq_parameter_set_id", 0))


def h264_slice(frame_num, lsb=None, reference=True, idr=False, operations=()):
    pairs = [("forbidden_zero_bit", 0), ("nal_ref_idc", 2 if reference else 0), ("nal_unit_type", 5 if idr else 1),
             ("first_mb_in_slice", 0), ("slice_type", 5), ("pic_parameter_set_id", 0), ("frame_num", frame_num)]
    if lsb is not None:
        pairs.append(("pic_order_cnt_lsb", lsb))
    if idr:
        pairs += [("no_output_of_prior_pics_flag", 0), ("long_term_reference_flag", 0)]
    elif reference:
        pairs.append(("adaptive_ref_pic_marking_mode_flag", 1 if operations else 0))
        for operation, *elements in [*operations, (0,)] if operations else []:
            pairs += [("memory_management_control_operation", operation), *elements]
    pairs.append(("slice_qp_delta", 0))
    return unit(*pairs)


def run(model, units):
    for nal in units:
        model.unit(nal)
    return model.frames


def run_h264(sps, slices):
    return run(H264Model(), [sps, H264_PPS, *slices])


def short(frame_num, poc):
    return {"frameNum": frame_num, "longTerm": False, "poc": [poc, poc]}


def long(index, poc):
    return {"longTermFrameIdx": index, "longTerm": True, "poc": [poc, poc]}


class H264(unittest.TestCase):
    def test_every_memory_management_operation(self):
        diff = "difference_of_pic_nums_minus1"
        frames = run_h264(h264_sps(4), [
            h264_slice(0, 0, idr=True),
            h264_slice(1, 2),
            h264_slice(2, 4, operations=[(4, ("max_long_term_frame_idx_plus1", 2)), (3, (diff, 1), ("long_term_frame_idx", 0))]),
            h264_slice(3, 6, operations=[(6, ("long_term_frame_idx", 1))]),
            h264_slice(4, 8, operations=[(2, ("long_term_pic_num", 0)), (1, (diff, 2))]),
            h264_slice(5, 10, operations=[(4, ("max_long_term_frame_idx_plus1", 1))]),
            h264_slice(6, 12),
            h264_slice(7, 14),
            h264_slice(8, 2, operations=[(5,)]),
            h264_slice(1, 4),
        ])
        self.assertEqual([(f["frame_num"], f["poc"], f["refs"]) for f in frames], [
            (0, [0, 0], []),
            (1, [2, 2], [short(0, 0)]),
            (2, [4, 4], [short(0, 0), short(1, 2)]),
            (3, [6, 6], [short(1, 2), short(2, 4), long(0, 0)]),
            (4, [8, 8], [short(1, 2), short(2, 4), long(0, 0), long(1, 6)]),
            (5, [10, 10], [short(2, 4), short(4, 8), long(1, 6)]),
            (6, [12, 12], [short(2, 4), short(4, 8), short(5, 10)]),
            (7, [14, 14], [short(2, 4), short(4, 8), short(5, 10), short(6, 12)]),
            # Past the lsb wrap: 16 + 2; operation 5 then takes the frame to frame_num 0, order count 0.
            (8, [18, 18], [short(4, 8), short(5, 10), short(6, 12), short(7, 14)]),
            (1, [4, 4], [short(0, 0)]),
        ])

    def test_a_gap_in_frame_num_adds_non_existing_frames(self):
        frames = run_h264(h264_sps(3, gaps=1), [h264_slice(0, 0, idr=True), h264_slice(3, 6), h264_slice(4, 8)])
        missing = [{"frameNum": 1, "longTerm": False, "nonExisting": True},
                   {"frameNum": 2, "longTerm": False, "nonExisting": True}]
        self.assertEqual(frames[1]["refs"], [short(0, 0), *missing])
        self.assertEqual(frames[2]["refs"], [*missing, short(3, 6)])

    def test_order_count_type_1_cycle(self):
        sps = h264_sps(4, poc_type=1, extra=(
            ("delta_pic_order_always_zero_flag", 1), ("offset_for_non_ref_pic", -1),
            ("offset_for_top_to_bottom_field", 1), ("num_ref_frames_in_pic_order_cnt_cycle", 2),
            ("offset_for_ref_frame[0]", 4), ("offset_for_ref_frame[1]", 2)))
        frames = run_h264(sps, [h264_slice(0, idr=True), h264_slice(1), h264_slice(2, reference=False),
                                h264_slice(2), h264_slice(3)])
        self.assertEqual([f["poc"] for f in frames], [[0, 1], [4, 5], [3, 4], [6, 7], [10, 11]])


def hevc_header(kind, temporal_id=0):
    return [("forbidden_zero_bit", 0), ("nal_unit_type", kind), ("nuh_layer_id", 0),
            ("nuh_temporal_id_plus1", temporal_id + 1)]


HEVC_SPS = unit(*hevc_header(33), ("sps_seq_parameter_set_id", 0), ("chroma_format_idc", 1),
                ("bit_depth_luma_minus8", 0), ("bit_depth_chroma_minus8", 0),
                ("log2_max_pic_order_cnt_lsb_minus4", 0), ("num_short_term_ref_pic_sets", 0),
                ("long_term_ref_pics_present_flag", 1), ("num_long_term_ref_pics_sps", 0),
                ("sps_temporal_mvp_enabled_flag", 0))
HEVC_PPS = unit(*hevc_header(34), ("pps_pic_parameter_set_id", 0), ("pps_seq_parameter_set_id", 0))


def hevc_slice(kind, lsb=None, before=(), after=(), long_terms=()):
    """A first slice with its set coded in the header: `before` and `after` as delta POCs, all used;
    long-term entries as (poc_lsb_lt, used, msb cycle or None)."""
    pairs = [*hevc_header(kind), ("first_slice_segment_in_pic_flag", 1), ("slice_pic_parameter_set_id", 0)]
    if lsb is not None:
        pairs += [("slice_pic_order_cnt_lsb", lsb), ("short_term_ref_pic_set_sps_flag", 0),
                  ("num_negative_pics", len(before)), ("num_positive_pics", len(after))]
        for s, deltas, sign in (("s0", before, -1), ("s1", after, 1)):
            for previous, delta in zip([0, *deltas], deltas):
                pairs += [(f"delta_poc_{s}_minus1", sign * (delta - previous) - 1), (f"used_by_curr_pic_{s}_flag", 1)]
        pairs.append(("num_long_term_pics", len(long_terms)))
        for lsb_lt, used, cycle in long_terms:
            pairs += [("poc_lsb_lt", lsb_lt), ("used_by_curr_pic_lt_flag", used),
                      ("delta_poc_msb_present_flag", 0 if cycle is None else 1)]
            if cycle is not None:
                pairs.append(("delta_poc_msb_cycle_lt", cycle))
    pairs.append(("slice_sao_luma_flag", 0))
    return unit(*pairs)


class Hevc(unittest.TestCase):
    def test_a_set_predicted_from_the_one_before(self):
        # Set 0: -1, -3 and +2, all used; set 1 from it with deltaRps -1 and the -3 entry not used.
        elements = Elements(unit(
            ("num_negative_pics", 2), ("num_positive_pics", 1), ("delta_poc_s0_minus1", 0),
            ("used_by_curr_pic_s0_flag", 1), ("delta_poc_s0_minus1", 1), ("used_by_curr_pic_s0_flag", 1),
            ("delta_poc_s1_minus1", 1), ("used_by_curr_pic_s1_flag", 1),
            ("inter_ref_pic_set_prediction_flag", 1), ("delta_rps_sign", 1), ("abs_delta_rps_minus1", 0),
            ("used_by_curr_pic_flag", 1), ("used_by_curr_pic_flag", 0), ("use_delta_flag", 1),
            ("used_by_curr_pic_flag", 1), ("used_by_curr_pic_flag", 1)))
        sets = []
        for index in range(2):
            sets.append(short_term_set(elements, index, sets, 2))
        self.assertEqual(sets[0], ([(-1, 1), (-3, 1)], [(2, 1)]))
        self.assertEqual(sets[1], ([(-1, 1), (-2, 1), (-4, 0)], [(1, 1)]))

    def test_long_term_pictures_by_lsb_and_by_whole_count(self):
        frames = run(HevcModel(), [
            HEVC_SPS, HEVC_PPS,
            hevc_slice(19),
            hevc_slice(1, 4, before=[-4]),
            hevc_slice(1, 8, before=[-4], long_terms=[(0, 1, None)]),
            hevc_slice(1, 12, before=[-4], long_terms=[(0, 1, 0)]),
            # Past the lsb wrap; nothing keeps picture 0 any longer.
            hevc_slice(1, 0, before=[-4]),
        ])
        self.assertEqual([(f["poc"], f["before"], f["after"], f["lt"], f["stRpsBits"]) for f in frames], [
            (0, [], [], [], 0), (4, [0], [], [], 4), (8, [4], [], [0], 4), (12, [8], [], [0], 4),
            (16, [12], [], [], 4)])

if __name__ == "__main__":
    unittest.main()
