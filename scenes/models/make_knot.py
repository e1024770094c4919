#!/usr/bin/env python3
"""Writes knot.obj and knot.mtl: a gold trefoil knot, a tube of quads around
the curve ((2 + cos 3t) cos 2t, (2 + cos 3t) sin 2t, sin 3t), wound so that
every face turns its lit side away from the tube's axis."""
import math
from pathlib import Path

here = Path(__file__).resolve().parent
SEGMENTS, SIDES, TUBE = 96, 8, 0.45


def curve(t):
    return ((2 + math.cos(3 * t)) * math.cos(2 * t), (2 + math.cos(3 * t)) * math.sin(2 * t), math.sin(3 * t))


def sub(a, b):
    return [a[i] - b[i] for i in range(3)]


def cross(a, b):
    return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]


def unit(a):
    n = math.sqrt(sum(x * x for x in a))
    return [x / n for x in a]


lines = ["# A trefoil knot made by make_knot.py", "mtllib knot.mtl", "usemtl gold"]
for i in range(SEGMENTS):
    t = 2 * math.pi * i / SEGMENTS
    p = curve(t)
    tangent = unit(sub(curve(t + 1e-4), curve(t - 1e-4)))
    normal = unit(cross(tangent, [0, 0, 1]))
    binormal = cross(normal, tangent)
    for j in range(SIDES):
        a = 2 * math.pi * j / SIDES
        v = [p[k] + TUBE * (math.cos(a) * normal[k] + math.sin(a) * binormal[k]) for k in range(3)]
        lines.append("v %.6f %.6f %.6f" % tuple(v))
for i in range(SEGMENTS):
    for j in range(SIDES):
        a = i * SIDES + j + 1
        b = (i + 1) % SEGMENTS * SIDES + j + 1
        c = (i + 1) % SEGMENTS * SIDES + (j + 1) % SIDES + 1
        d = i * SIDES + (j + 1) % SIDES + 1
        # Going along the tube, then around it: counter-clockwise from outside.
        lines.append("f %d %d %d %d" % (a, b, c, d))
(here / "knot.obj").write_text("\n".join(lines) + "\n")
(here / "knot.mtl").write_text("newmtl gold\nKd 0.85 0.55 0.15\nKs 0.3 0.3 0.3\nNs 60\nNi 1.5\n")
