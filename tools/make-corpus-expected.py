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
import os

from dxva_trace import trace, write_cases
from picture_model import MODELS

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "..", "tests", "fixtures", "corpus")
CODECS = {".264": "h264", ".hevc": "h265"}
# DXGI formats of the decoded surfaces by bit depth.
OUTPUT_FORMATS = {8: "NV12", 10: "P010"}


def expect(codec, path):
    model = MODELS[codec]()
    for packet in trace(codec, path):
        for unit in packet:
            model.unit(unit)
    if model.refused:
        return {"refuse": model.refused}
    width, height = model.coded_size()
    case = {"codedWidth": width, "codedHeight": height, "outputFormat": OUTPUT_FORMATS[model.bit_depth()]}
    if codec == "h265":
        case["skipped"] = model.skipped
    case["frames"] = model.frames
    return case


def main():
    cases = []
    for name in sorted(os.listdir(CORPUS)):
        codec = CODECS.get(os.path.splitext(name)[1])
        if codec:
            cases.append({"stream": name, "codec": codec, **expect(codec, os.path.join(CORPUS, name))})
    write_cases(os.path.join(CORPUS, "expected.json"), cases)


if __name__ == "__main__":
    main()
