#!/usr/bin/env python3
"""LAS point format 3 to binary little-endian PLY with every attribute, in
numpy: the peer the demo converter's benchmark sets itself beside. Streams in
chunks, like the converter. Usage: las_to_ply_numpy.py IN.las OUT.ply"""
import sys

import numpy as np

CHUNK = 1 << 20


def header_fields(head):
    offset = int.from_bytes(head[96:100], "little")
    length = int.from_bytes(head[105:107], "little")
    count = int.from_bytes(head[107:111], "little")
    scale = np.frombuffer(head[131:155], "<f8")
    shift = np.frombuffer(head[155:179], "<f8")
    return offset, length, count, scale, shift


RECORD = np.dtype([("X", "<i4"), ("Y", "<i4"), ("Z", "<i4"), ("intensity", "<u2"),
                   ("returns", "u1"), ("classes", "u1"), ("angle", "i1"), ("user", "u1"),
                   ("source", "<u2"), ("gps", "<f8"), ("r", "<u2"), ("g", "<u2"),
                   ("b", "<u2")])
OUT = np.dtype([("x", "<f8"), ("y", "<f8"), ("z", "<f8"), ("red", "u1"), ("green", "u1"),
                ("blue", "u1"), ("intensity", "<u2"), ("return_number", "u1"),
                ("number_of_returns", "u1"), ("scan_direction_flag", "u1"),
                ("edge_of_flight_line", "u1"), ("classification", "u1"),
                ("classification_flags", "u1"), ("scan_angle", "i1"), ("user_data", "u1"),
                ("point_source_id", "<u2"), ("gps_time", "<f8")])
PLY_TYPES = {"f8": "double", "u1": "uchar", "u2": "ushort", "i1": "char"}


def convert(points, scale, shift):
    out = np.empty(len(points), OUT)
    for axis, name in enumerate("xyz"):
        out[name] = points[name.upper()] * scale[axis] + shift[axis]
    for channel, name in (("r", "red"), ("g", "green"), ("b", "blue")):
        out[name] = points[channel] >> 8
    returns, classes = points["returns"], points["classes"]
    out["intensity"] = points["intensity"]
    out["return_number"] = returns & 7
    out["number_of_returns"] = (returns >> 3) & 7
    out["scan_direction_flag"] = (returns >> 6) & 1
    out["edge_of_flight_line"] = returns >> 7
    out["classification"] = classes & 31
    out["classification_flags"] = classes >> 5
    out["scan_angle"] = points["angle"]
    out["user_data"] = points["user"]
    out["point_source_id"] = points["source"]
    out["gps_time"] = points["gps"]
    return out


def main(source, target):
    with open(source, "rb") as stream:
        offset, length, count, scale, shift = header_fields(stream.read(375))
    if length != RECORD.itemsize:
        sys.exit("expected point format 3 records of %d bytes" % RECORD.itemsize)
    points = np.memmap(source, dtype=RECORD, mode="r", offset=offset, shape=(count,))
    properties = "".join("property %s %s\n" % (PLY_TYPES[OUT[name].str[1:]], name)
                         for name in OUT.names)
    with open(target, "wb") as out:
        out.write(("ply\nformat binary_little_endian 1.0\nelement vertex %d\n%send_header\n"
                   % (count, properties)).encode())
        for start in range(0, count, CHUNK):
            convert(points[start:start + CHUNK], scale, shift).tofile(out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
