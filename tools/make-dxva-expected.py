#!/usr/bin/env python3
"""Writes tests/fixtures/dxva_expected.json: for every case of the data set,
what ffmpeg's trace_headers says the decoder must hand the hardware, frame by
frame, for the dump comparison (tests/e2e/dxva_dump.test.js).

The values are picture_model.py's, cut down to what the comparison checks.
H.265: the picture order count, the order counts of the pictures the
slice's short-term set marks as used by the current picture (before and
after it, in the set's order), and the bit length of the st_ref_pic_set
coded in the slice header (0 when the slice takes one of the SPS's).
H.264: frame_num, the top field order count and the frame_num of each
short-term reference held when the picture is decoded. A stream that needs
more (long-term references, a packet that is not one decoded picture) is
not one this comparison can check: the script stops on it.

Needs ffmpeg; the output is committed, so the tests do not.
usage: python3 tools/make-dxva-expected.py
"""
import os
import tempfile

from dxva_trace import fail, trace, write_cases
from picture_model import MODELS

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..")
DATA = os.path.join(ROOT, "data")
FRAMES = 30
# The cases in the order the benchmark runs them.
SIZES = ["1280_720", "1920_1080", "2560_1440", "3840_2160"]
FRAME_HEADER_BYTES = 5


def frame_entry(codec, frame):
    """The fields of the model's picture that the dump comparison checks."""
    if codec == "h264":
        if any(entry["longTerm"] for entry in frame["refs"]):
            fail(f"frame_num {frame['frame_num']}: a long-term reference, which the comparison does not check")
        return {"frame_num": frame["frame_num"], "poc": frame["poc"][0],
                "refFrameNums": [entry["frameNum"] for entry in frame["refs"]]}
    if frame["lt"]:
        fail(f"picture {frame['picture']}: long-term references, which the comparison does not check")
    return {key: frame[key] for key in ("poc", "before", "after", "stRpsBits")}


def expect(codec, packets):
    model = MODELS[codec]()
    for index, packet in enumerate(packets):
        decoded = len(model.frames)
        for unit in packet:
            model.unit(unit)
        if model.refused:
            fail(f"{codec}: a stream the decoder refuses ({model.refused})")
        # The comparison pairs each frame file with the one picture it submits.
        if len(model.frames) != decoded + 1:
            fail(f"{codec} packet {index}: not exactly one decoded picture")
    width, height = model.coded_size()
    return {"codedWidth": width, "codedHeight": height,
            "frames": [frame_entry(codec, frame) for frame in model.frames]}


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
                cases.append({"codec": codec, "size": size, **expect(codec, trace(codec, stream, FRAMES))})
    write_cases(os.path.join(ROOT, "tests", "fixtures", "dxva_expected.json"), cases)


if __name__ == "__main__":
    main()
