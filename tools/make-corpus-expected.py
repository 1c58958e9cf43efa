#!/usr/bin/env python3
"""Writes tests/fixtures/corpus/expected.json: for every stream of the corpus
(tests/fixtures/make_corpus.sh), what the decoder must hand the hardware,
picture by picture, as the standards' decoding processes derive it from
ffmpeg's trace_headers output (picture_model.py), for the comparison in
tests/e2e/stream_corpus.test.js; or, for a stream the decoder must refuse,
the property its refusal must name.

H.265 per submitted picture: the order count, the order counts of
StCurrBefore, StCurrAfter and LtCurr in the set's order and the bit length of
a set coded in the slice header; and which RASL pictures are not submitted.
H.264 per picture: frame_num, both field order counts and every reference
frame held when it is decoded (frame_num or LongTermFrameIdx, long-term or
not, order counts).

Needs ffmpeg; the output is committed, so the tests do not.
usage: python3 tools/make-corpus-expected.py
"""
import json
import os

from dxva_trace import trace
from picture_model import H264Model, HevcModel

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "..", "tests", "fixtures", "corpus")
CODECS = {".264": "h264", ".hevc": "h265"}
# DXGI formats of the decoded surfaces by bit depth.
OUTPUT_FORMATS = {8: "NV12", 10: "P010"}


def expect(codec, path):
    model = H264Model() if codec == "h264" else HevcModel()
    for packet in trace(codec, path):
        for unit in packet:
            model.unit(unit)
    if model.refused:
        return {"refuse": model.refused}
    sps = next(iter(model.sps.values()))
    if codec == "h264":
        size = [(sps["pic_width_in_mbs_minus1"] + 1) * 16,
                (sps["pic_height_in_map_units_minus1"] + 1) * 16 * (2 - sps["frame_mbs_only_flag"])]
        depth = sps.get("bit_depth_luma_minus8", 0) + 8
    else:
        size = [sps["pic_width_in_luma_samples"], sps["pic_height_in_luma_samples"]]
        depth = sps["bit_depth_luma_minus8"] + 8
    case = {"codedWidth": size[0], "codedHeight": size[1], "outputFormat": OUTPUT_FORMATS[depth]}
    if codec == "h265":
        case["skipped"] = model.skipped
    case["frames"] = model.frames
    return case


def main():
    lines = []
    for name in sorted(os.listdir(CORPUS)):
        codec = CODECS.get(os.path.splitext(name)[1])
        if not codec:
            continue
        case = {"stream": name, "codec": codec, **expect(codec, os.path.join(CORPUS, name))}
        # One picture a line: small enough to read, and a remade file diffs by picture.
        head = json.dumps({key: value for key, value in case.items() if key != "frames"})
        if "frames" in case:
            frames = ",\n    ".join(json.dumps(frame) for frame in case["frames"])
            head = f'{head[:-1]}, "frames": [\n    {frames}]}}'
        lines.append(f"  {head}")
    with open(os.path.join(CORPUS, "expected.json"), "w") as out:
        out.write("[\n" + ",\n".join(lines) + "\n]\n")


if __name__ == "__main__":
    main()
