"""What the decoder must hand the hardware for each picture of an H.264 or
H.265 stream, worked out from the stream's syntax elements (dxva_trace.py) by
the two standards' decoding processes, independently of the decoder's own
code: a second opinion is only worth having if it is not a copy.

H.264: order counts of all three types (8.2.1) and reference marking (8.2.5:
sliding window, every memory management operation, gaps in frame_num).
H.265: order counts (8.3.1), reference picture sets with long-term pictures
(8.3.2), and the RASL pictures that are not decoded because their CRA starts
the stream or follows an end of sequence. Frames only: a stream that codes
fields is one the decoder must refuse anyway.
"""
import re

from dxva_trace import fail

INDEX = re.compile(r"\[\d+\]")


def bare(name):
    return INDEX.sub("", name)


class Elements:
    """A NAL unit's elements read in order, the way the syntax reads them:
    an element the trace does not list was not coded."""

    def __init__(self, unit):
        self.unit = unit
        self.at = 0

    def next_is(self, name):
        return self.at < len(self.unit) and bare(self.unit[self.at][1]) == name

    def take(self, name, absent=None):
        """The next element's value; `absent` when it is not `name`, which is an error when absent is None."""
        if self.next_is(name):
            self.at += 1
            return self.unit[self.at - 1][2]
        if absent is None:
            found = self.unit[self.at][1] if self.at < len(self.unit) else "the end of the unit"
            fail(f"expected {name}, found {found}")
        return absent

    def skip_to(self, name):
        while self.at < len(self.unit) and not self.next_is(name):
            self.at += 1
        return self.at < len(self.unit)

    def position(self):
        return self.unit[self.at][0] if self.at < len(self.unit) else None


def values(unit):
    """The unit's elements by name, first occurrence: for units whose names do not repeat."""
    found = {}
    for _, name, value in unit:
        found.setdefault(name, value)
    return found


def first_sps(sps_by_id):
    """The stream's first sequence parameter set: the one its coded size and depth are taken from."""
    if not sps_by_id:
        fail("no sequence parameter set before the pictures")
    return next(iter(sps_by_id.values()))


def active_sps(sps_by_id, pps_by_id, pps_id, sps_id_name):
    """The sequence parameter set a slice uses through its picture parameter set."""
    if pps_id not in pps_by_id:
        fail(f"a slice uses picture parameter set {pps_id}, which the stream has not sent")
    sps_id = pps_by_id[pps_id][sps_id_name]
    if sps_id not in sps_by_id:
        fail(f"picture parameter set {pps_id} uses sequence parameter set {sps_id}, which the stream has not sent")
    return sps_by_id[sps_id]


def refusal(chroma_format_idc, bit_depths, fields=False, deepest=8):
    """The property a decoder of 8-bit (or up to `deepest`-bit) 4:2:0 frames must name when it refuses the stream."""
    if fields:
        return "field"
    if chroma_format_idc != 1:
        return {0: "4:0:0", 2: "4:2:2", 3: "4:4:4"}.get(chroma_format_idc, "chroma_format_idc")
    if any(depth > deepest for depth in bit_depths):
        return "bit depth"
    return None


# ---------------------------------------------------------------- H.264

class H264Frame:
    def __init__(self, frame_num, top, bottom, non_existing=False):
        self.frame_num = frame_num
        self.long_term_idx = None
        self.top, self.bottom = top, bottom
        self.non_existing = non_existing

    def describe(self):
        entry = ({"longTermFrameIdx": self.long_term_idx, "longTerm": True} if self.long_term_idx is not None
                 else {"frameNum": self.frame_num, "longTerm": False})
        if self.non_existing:
            entry["nonExisting"] = True
        else:
            entry["poc"] = [self.top, self.bottom]
        return entry


class H264Model:
    def __init__(self):
        self.sps, self.pps = {}, {}
        self.dpb = []  # frames marked used for reference
        self.max_long_term_idx = None  # None: "no long-term frame indices"
        self.prev_ref_frame_num = 0
        # Order count state: type 0 from the previous reference picture, types 1 and 2 from the previous picture.
        self.prev_msb, self.prev_lsb, self.msb = 0, 0, 0
        self.prev_frame_num_offset, self.prev_frame_num = 0, 0
        self.frames = []
        self.refused = None

    def unit(self, unit):
        head = values(unit[:3])
        kind = head["nal_unit_type"]
        if kind == 7:
            sps = values(unit)
            self.sps[sps["seq_parameter_set_id"]] = sps
            reason = refusal(sps.get("chroma_format_idc", 1),
                             [sps.get("bit_depth_luma_minus8", 0) + 8, sps.get("bit_depth_chroma_minus8", 0) + 8],
                             fields=sps["frame_mbs_only_flag"] == 0)
            self.refused = self.refused or reason
        elif kind == 8:
            pps = values(unit)
            self.pps[pps["pic_parameter_set_id"]] = pps
        elif kind in (1, 5) and self.refused is None:
            slice_values = values(unit)
            if slice_values["first_mb_in_slice"] == 0:
                self.picture(unit, slice_values)

    def coded_size(self):
        sps = first_sps(self.sps)
        return [(sps["pic_width_in_mbs_minus1"] + 1) * 16,
                (sps["pic_height_in_map_units_minus1"] + 1) * 16 * (2 - sps["frame_mbs_only_flag"])]

    def bit_depth(self):
        return first_sps(self.sps).get("bit_depth_luma_minus8", 0) + 8

    def picture(self, unit, header):
        sps = active_sps(self.sps, self.pps, header["pic_parameter_set_id"], "seq_parameter_set_id")
        if header.get("field_pic_flag", 0):
            fail("a field picture: this model decodes frames")
        idr = header["nal_unit_type"] == 5
        reference = header["nal_ref_idc"] != 0
        frame_num = header["frame_num"]
        max_frame_num = 1 << (sps["log2_max_frame_num_minus4"] + 4)
        operations = self.operations(unit) if reference and not idr else []
        mmco5 = any(operation[0] == 5 for operation in operations)

        if idr:
            self.prev_ref_frame_num = 0
        elif frame_num not in (self.prev_ref_frame_num, (self.prev_ref_frame_num + 1) % max_frame_num):
            self.fill_gap(sps, frame_num, max_frame_num)

        top, bottom = self.order_counts(sps, header, idr, reference, mmco5, max_frame_num)
        if idr:
            # Nothing before an IDR picture can be referenced from it or after it (3.69): it is handed no references.
            self.dpb = []
        self.frames.append({"frame_num": frame_num, "poc": [top, bottom],
                            "refs": sorted((frame.describe() for frame in self.dpb),
                                           key=lambda e: (e["longTerm"], e.get("frameNum", e.get("longTermFrameIdx"))))})
        if not reference:
            return
        current = H264Frame(frame_num, top, bottom)
        if idr:
            self.dpb = []
            if header.get("long_term_reference_flag", 0):
                current.long_term_idx, self.max_long_term_idx = 0, 0
            else:
                self.max_long_term_idx = None
        elif operations:
            self.apply(operations, current, frame_num, max_frame_num)
        else:
            self.sliding_window(sps, frame_num, max_frame_num)
        if mmco5:
            # 8.2.1: afterwards the picture counts as frame_num 0 with its order counts taken back to 0.
            least = min(top, bottom)
            current.frame_num, current.top, current.bottom = 0, top - least, bottom - least
        self.dpb.append(current)
        if len(self.dpb) > max(sps["max_num_ref_frames"], 1):
            fail(f"frame_num {frame_num}: {len(self.dpb)} reference frames, max_num_ref_frames "
                 f"{sps['max_num_ref_frames']}")
        self.prev_ref_frame_num = current.frame_num
        if sps["pic_order_cnt_type"] == 0:
            self.prev_msb, self.prev_lsb = (0, current.top) if mmco5 else (self.msb, header["pic_order_cnt_lsb"])

    @staticmethod
    def operations(unit):
        """The memory management operations of a slice, each (operation, its values by name)."""
        elements = Elements(unit)
        if not elements.skip_to("adaptive_ref_pic_marking_mode_flag") or not elements.take(
                "adaptive_ref_pic_marking_mode_flag"):
            return []
        found = []
        while True:
            operation = elements.take("memory_management_control_operation")
            if operation == 0:
                return found
            arguments = {}
            if operation in (1, 3):
                arguments["difference_of_pic_nums_minus1"] = elements.take("difference_of_pic_nums_minus1")
            if operation == 2:
                arguments["long_term_pic_num"] = elements.take("long_term_pic_num")
            if operation in (3, 6):
                arguments["long_term_frame_idx"] = elements.take("long_term_frame_idx")
            if operation == 4:
                arguments["max_long_term_frame_idx_plus1"] = elements.take("max_long_term_frame_idx_plus1")
            if operation > 6:
                fail(f"memory_management_control_operation {operation}")
            found.append((operation, arguments))

    def short_terms(self):
        return [frame for frame in self.dpb if frame.long_term_idx is None]

    def sliding_window(self, sps, frame_num, max_frame_num):
        """8.2.5.3, before the current frame is added."""
        short = self.short_terms()
        if len(self.dpb) == max(sps["max_num_ref_frames"], 1) and short:
            oldest = min(short, key=lambda frame: self.wrap(frame.frame_num, frame_num, max_frame_num))
            self.dpb.remove(oldest)

    @staticmethod
    def wrap(frame_num, current, max_frame_num):
        return frame_num - max_frame_num if frame_num > current else frame_num

    def fill_gap(self, sps, frame_num, max_frame_num):
        """8.2.5.2: a non-existing short-term frame per missing frame_num, each through the sliding window."""
        if not sps["gaps_in_frame_num_allowed_flag"]:
            fail(f"frame_num {frame_num} after {self.prev_ref_frame_num}: a gap the stream does not allow")
        missing = (self.prev_ref_frame_num + 1) % max_frame_num
        while missing != frame_num:
            self.sliding_window(sps, missing, max_frame_num)
            self.dpb.append(H264Frame(missing, None, None, non_existing=True))
            self.prev_ref_frame_num = missing
            missing = (missing + 1) % max_frame_num
        # The frames stand in for pictures: the type 1 and 2 counts carry on from the last.
        self.prev_frame_num = self.prev_ref_frame_num

    def apply(self, operations, current, frame_num, max_frame_num):
        """8.2.5.4, the operations in the order coded."""
        def short_term_numbered(difference):
            pic_num = frame_num - (difference + 1)
            return next((frame for frame in self.short_terms()
                         if self.wrap(frame.frame_num, frame_num, max_frame_num) == pic_num), None)

        def drop_long_term(index, keep=None):
            self.dpb = [frame for frame in self.dpb if frame is keep or frame.long_term_idx != index]

        for operation, arguments in operations:
            if operation == 1:
                frame = short_term_numbered(arguments["difference_of_pic_nums_minus1"])
                if frame:
                    self.dpb.remove(frame)
            elif operation == 2:
                drop_long_term(arguments["long_term_pic_num"])
            elif operation == 3:
                frame = short_term_numbered(arguments["difference_of_pic_nums_minus1"])
                drop_long_term(arguments["long_term_frame_idx"], keep=frame)
                if frame:
                    frame.long_term_idx = arguments["long_term_frame_idx"]
            elif operation == 4:
                limit = arguments["max_long_term_frame_idx_plus1"] - 1
                self.max_long_term_idx = None if limit < 0 else limit
                self.dpb = [frame for frame in self.dpb
                            if frame.long_term_idx is None or (limit >= 0 and frame.long_term_idx <= limit)]
            elif operation == 5:
                self.dpb = []
                self.max_long_term_idx = None
            elif operation == 6:
                drop_long_term(arguments["long_term_frame_idx"])
                current.long_term_idx = arguments["long_term_frame_idx"]

    def order_counts(self, sps, header, idr, reference, mmco5, max_frame_num):
        """8.2.1: the frame's top and bottom field order counts."""
        kind = sps["pic_order_cnt_type"]
        frame_num = header["frame_num"]
        if kind == 0:
            if idr:
                self.prev_msb, self.prev_lsb = 0, 0
            max_lsb = 1 << (sps["log2_max_pic_order_cnt_lsb_minus4"] + 4)
            lsb = header["pic_order_cnt_lsb"]
            if lsb < self.prev_lsb and self.prev_lsb - lsb >= max_lsb // 2:
                msb = self.prev_msb + max_lsb
            elif lsb > self.prev_lsb and lsb - self.prev_lsb > max_lsb // 2:
                msb = self.prev_msb - max_lsb
            else:
                msb = self.prev_msb
            self.msb = msb
            top = msb + lsb
            return top, top + header.get("delta_pic_order_cnt_bottom", 0)

        if idr:
            offset = 0
        elif self.prev_frame_num > frame_num:
            offset = self.prev_frame_num_offset + max_frame_num
        else:
            offset = self.prev_frame_num_offset
        # A picture with operation 5 leaves frame_num and its offset at 0 for the next.
        self.prev_frame_num_offset, self.prev_frame_num = (0, 0) if mmco5 else (offset, frame_num)
        if kind == 2:
            count = 0 if idr else 2 * (offset + frame_num) - (0 if reference else 1)
            return count, count

        cycle = sps["num_ref_frames_in_pic_order_cnt_cycle"]
        offsets = [sps[f"offset_for_ref_frame[{i}]"] for i in range(cycle)]
        absolute = offset + frame_num if cycle else 0
        if not reference and absolute > 0:
            absolute -= 1
        expected = 0
        if absolute > 0:
            cycles, within = divmod(absolute - 1, cycle)
            expected = cycles * sum(offsets) + sum(offsets[:within + 1])
        if not reference:
            expected += sps["offset_for_non_ref_pic"]
        top = expected + header.get("delta_pic_order_cnt[0]", 0)
        return top, top + sps["offset_for_top_to_bottom_field"] + header.get("delta_pic_order_cnt[1]", 0)


# ---------------------------------------------------------------- H.265

def short_term_set(elements, index, sets, count):
    """7.3.7 and 7.4.8: set `index` as (S0, S1), each a list of (delta POC, used by the current picture)."""
    predicted = elements.take("inter_ref_pic_set_prediction_flag") if index != 0 else 0
    if not predicted:
        negatives, positives = elements.take("num_negative_pics"), elements.take("num_positive_pics")
        s0, s1, delta = [], [], 0
        for _ in range(negatives):
            delta -= elements.take("delta_poc_s0_minus1") + 1
            s0.append((delta, elements.take("used_by_curr_pic_s0_flag")))
        delta = 0
        for _ in range(positives):
            delta += elements.take("delta_poc_s1_minus1") + 1
            s1.append((delta, elements.take("used_by_curr_pic_s1_flag")))
        return s0, s1

    delta_idx = elements.take("delta_idx_minus1") + 1 if index == count else 1
    sign = elements.take("delta_rps_sign")
    delta_rps = (1 - 2 * sign) * (elements.take("abs_delta_rps_minus1") + 1)
    ref_s0, ref_s1 = sets[index - delta_idx]
    total = len(ref_s0) + len(ref_s1)
    used, use_delta = [], []
    for _ in range(total + 1):
        used.append(elements.take("used_by_curr_pic_flag"))
        use_delta.append(1 if used[-1] else elements.take("use_delta_flag"))
    # (7-61) and (7-62)
    s0, s1 = [], []
    for j in reversed(range(len(ref_s1))):
        d = ref_s1[j][0] + delta_rps
        if d < 0 and use_delta[len(ref_s0) + j]:
            s0.append((d, used[len(ref_s0) + j]))
    if delta_rps < 0 and use_delta[total]:
        s0.append((delta_rps, used[total]))
    for j in range(len(ref_s0)):
        d = ref_s0[j][0] + delta_rps
        if d < 0 and use_delta[j]:
            s0.append((d, used[j]))
    for j in reversed(range(len(ref_s0))):
        d = ref_s0[j][0] + delta_rps
        if d > 0 and use_delta[j]:
            s1.append((d, used[j]))
    if delta_rps > 0 and use_delta[total]:
        s1.append((delta_rps, used[total]))
    for j in range(len(ref_s1)):
        d = ref_s1[j][0] + delta_rps
        if d > 0 and use_delta[len(ref_s0) + j]:
            s1.append((d, used[len(ref_s0) + j]))
    return s0, s1


def hevc_sps(unit):
    found = values(unit)
    elements = Elements(unit)
    elements.skip_to("num_short_term_ref_pic_sets")
    count = elements.take("num_short_term_ref_pic_sets")
    sets = []
    for index in range(count):
        sets.append(short_term_set(elements, index, sets, count))
    found["sets"] = sets
    found["long_term"] = []
    if elements.take("long_term_ref_pics_present_flag"):
        for _ in range(elements.take("num_long_term_ref_pics_sps")):
            found["long_term"].append((elements.take("lt_ref_pic_poc_lsb_sps"),
                                       elements.take("used_by_curr_pic_lt_sps_flag")))
    return found


class HevcPicture:
    def __init__(self, poc):
        self.poc = poc
        self.long_term = False


class HevcModel:
    def __init__(self):
        self.sps, self.pps = {}, {}
        self.dpb = []  # pictures marked used for reference
        self.prev_tid0_poc = 0
        self.first_in_sequence = True  # the next picture starts the stream or follows an end of sequence
        self.skip_rasl = False  # NoRaslOutputFlag of the IRAP the RASL pictures belong to
        self.pictures = 0
        self.frames, self.skipped = [], []
        self.refused = None

    def unit(self, unit):
        head = values(unit[:4])
        kind = head["nal_unit_type"]
        if kind == 33:
            sps = hevc_sps(unit)
            self.sps[sps["sps_seq_parameter_set_id"]] = sps
            # Main 10 is decoded, into P010.
            self.refused = self.refused or refusal(
                sps["chroma_format_idc"], [sps["bit_depth_luma_minus8"] + 8, sps["bit_depth_chroma_minus8"] + 8],
                deepest=10)
        elif kind == 34:
            pps = values(unit)
            self.pps[pps["pps_pic_parameter_set_id"]] = pps
        elif kind == 36:
            self.first_in_sequence = True
        elif kind <= 21 and self.refused is None and values(unit)["first_slice_segment_in_pic_flag"]:
            self.picture(unit, kind, head["nuh_temporal_id_plus1"] - 1)

    def coded_size(self):
        sps = first_sps(self.sps)
        return [sps["pic_width_in_luma_samples"], sps["pic_height_in_luma_samples"]]

    def bit_depth(self):
        return first_sps(self.sps)["bit_depth_luma_minus8"] + 8

    def picture(self, unit, kind, temporal_id):
        index = self.pictures
        self.pictures += 1
        header = values(unit)
        sps = active_sps(self.sps, self.pps, header["slice_pic_parameter_set_id"], "pps_seq_parameter_set_id")
        irap = 16 <= kind <= 23
        idr = kind in (19, 20)
        if irap:
            # CRAs inside a sequence keep their RASL pictures (HandleCraAsBlaFlag is 0).
            self.skip_rasl = idr or kind <= 18 or self.first_in_sequence
        self.first_in_sequence = False
        if kind in (8, 9) and self.skip_rasl:
            self.skipped.append({"picture": index, "nal_unit_type": kind})
            return

        # 8.3.1
        max_lsb = 1 << (sps["log2_max_pic_order_cnt_lsb_minus4"] + 4)
        lsb = 0 if idr else header["slice_pic_order_cnt_lsb"]
        if irap and self.skip_rasl:
            msb = 0
        else:
            prev_lsb = self.prev_tid0_poc & (max_lsb - 1)
            prev_msb = self.prev_tid0_poc - prev_lsb
            if lsb < prev_lsb and prev_lsb - lsb >= max_lsb // 2:
                msb = prev_msb + max_lsb
            elif lsb > prev_lsb and lsb - prev_lsb > max_lsb // 2:
                msb = prev_msb - max_lsb
            else:
                msb = prev_msb
        poc = msb + lsb
        sub_layer_non_reference = kind <= 14 and kind % 2 == 0
        if temporal_id == 0 and not 6 <= kind <= 9 and not sub_layer_non_reference:
            self.prev_tid0_poc = poc

        # 8.3.2
        if irap and self.skip_rasl:
            self.dpb = []
        before, after, long_current, bits = [], [], [], 0
        if not idr:
            elements = Elements(unit)
            elements.skip_to("short_term_ref_pic_set_sps_flag")
            count = len(sps["sets"])
            if elements.take("short_term_ref_pic_set_sps_flag"):
                chosen = sps["sets"][elements.take("short_term_ref_pic_set_idx") if count > 1 else 0]
            else:
                start = elements.position()
                chosen = short_term_set(elements, count, sps["sets"], count)
                bits = elements.position() - start
            s0, s1 = chosen
            before = [poc + delta for delta, used in s0 if used]
            after = [poc + delta for delta, used in s1 if used]
            following = [poc + delta for delta, used in s0 + s1 if not used]
            long_terms = self.long_terms(elements, sps, poc, max_lsb)

            # Long-term entries first, from every reference picture; then the short-term ones, from those still
            # short-term; whatever no entry names is no longer a reference.
            kept, long_matches = set(), set()
            for value, used, whole in long_terms:
                match = next((p for p in self.dpb if (p.poc if whole else p.poc & (max_lsb - 1)) == value), None)
                if match:
                    long_matches.add(match)
                if used:
                    long_current.append(match.poc if match else value)
            for value in before + after + following:
                match = next((p for p in self.dpb if not p.long_term and p.poc == value), None)
                if match:
                    kept.add(match)
            for picture in long_matches:
                picture.long_term = True
            self.dpb = [picture for picture in self.dpb if picture in kept or picture in long_matches]
        self.frames.append({"picture": index, "poc": poc, "before": before, "after": after, "lt": long_current,
                            "stRpsBits": bits})
        self.dpb.append(HevcPicture(poc))

    @staticmethod
    def long_terms(elements, sps, poc, max_lsb):
        """The slice's long-term entries, each (order count or its lsb, used by the current picture, whether the
        count is whole)."""
        if not sps["long_term_ref_pics_present_flag"]:
            return []
        in_sps = len(sps["long_term"])
        from_sps = elements.take("num_long_term_sps") if in_sps > 0 else 0
        entries, cycle = [], 0
        for i in range(from_sps + elements.take("num_long_term_pics")):
            if i < from_sps:
                lsb, used = sps["long_term"][elements.take("lt_idx_sps") if in_sps > 1 else 0]
            else:
                lsb, used = elements.take("poc_lsb_lt"), elements.take("used_by_curr_pic_lt_flag")
            present = elements.take("delta_poc_msb_present_flag")
            coded = elements.take("delta_poc_msb_cycle_lt") if present else 0
            # (7-52): the cycles add up within each of the two runs.
            cycle = coded if i in (0, from_sps) else coded + cycle
            value = lsb + (poc - cycle * max_lsb - (poc & (max_lsb - 1)) if present else 0)
            entries.append((value, used, bool(present)))
        return entries


MODELS = {"h264": H264Model, "h265": HevcModel}
