"""ffmpeg's trace_headers output of a stream as syntax elements, for the
scripts that work out what the decoder must hand the hardware
(make-dxva-expected.py, make-corpus-expected.py), and the file layout they
write their results in."""
import json
import re
import subprocess
import sys

ELEMENT = re.compile(r"\]\s+(\d+)\s+(\S+)\s+[01]*\s+=\s+(-?\d+)\s*$")


def fail(text):
    sys.exit(f"{sys.argv[0]}: {text}")


def trace_text(codec, stream):
    return subprocess.run(
        ["ffmpeg", "-nostdin", "-nostats", "-hide_banner", "-v", "trace", "-f", "h264" if codec == "h264" else "hevc",
         "-i", stream, "-c", "copy", "-bsf:v", "trace_headers", "-f", "null", "-"],
        capture_output=True, text=True, errors="replace", check=True).stderr


LISTED = re.compile(r"nal_unit_type: (\d+)\(")
# End of sequence and end of stream units: listed in the packet but with no element to show.
WITHOUT_ELEMENTS = {"h264": (10, 11), "h265": (36, 37)}


def parse(text, codec="h265"):
    """The syntax elements of each packet as (bit position, name, value), split into NAL units."""
    packets = None
    listed = []
    for line in text.splitlines():
        if "[trace_headers" not in line:
            continue
        if "Packet:" in line:
            packets = [] if packets is None else packets
            packets.append([])
            listed.append([])
            continue
        listing = LISTED.search(line)
        if listing and packets is not None:
            listed[-1].append(int(listing.group(1)))
            continue
        match = ELEMENT.search(line)
        # Elements before the first packet are the extradata's: not part of the stream.
        if not match or packets is None:
            continue
        position, name, value = int(match.group(1)), match.group(2), int(match.group(3))
        if name == "forbidden_zero_bit":
            packets[-1].append([])
        packets[-1][-1].append((position, name, value))
    return [with_bare_units(units, kinds, WITHOUT_ELEMENTS[codec]) for units, kinds in zip(packets or [], listed)]


def with_bare_units(units, kinds, bare_kinds):
    """The packet's units with the element-less ones put back where the packet lists them."""
    if not any(kind in bare_kinds for kind in kinds):
        return units
    merged, remaining = [], list(units)
    for kind in kinds:
        if kind in bare_kinds:
            merged.append([(0, "forbidden_zero_bit", 0), (1, "nal_unit_type", kind)])
        elif remaining and first(remaining[0], "nal_unit_type") == kind:
            merged.append(remaining.pop(0))
    return merged + remaining


def trace(codec, stream, packet_count=None):
    packets = parse(trace_text(codec, stream), codec)
    if not packets or (packet_count is not None and len(packets) != packet_count):
        fail(f"{stream}: expected {packet_count} packets")
    return packets


def first(unit, name, default=None):
    for _, element, value in unit:
        if element == name:
            return value
    if default is None:
        fail(f"no {name} in a NAL unit")
    return default


def write_cases(path, cases):
    """The cases as a JSON list, one picture a line: small enough to read, and a remade file diffs by picture."""
    lines = []
    for case in cases:
        head = json.dumps({key: value for key, value in case.items() if key != "frames"})
        if "frames" in case:
            frames = ",\n    ".join(json.dumps(frame) for frame in case["frames"])
            head = f'{head[:-1]}, "frames": [\n    {frames}]}}'
        lines.append(f"  {head}")
    with open(path, "w") as out:
        out.write("[\n" + ",\n".join(lines) + "\n]\n")
