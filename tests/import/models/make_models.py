#!/usr/bin/env python3
"""Writes the small models of the importer's tests into this folder.

A tetrahedron with outward winding in every format, one glTF whose node
transforms mirror it, a cube with materials, models with faults, and files
that are broken on purpose. Run it again after changing it; the outputs are
committed beside it."""
import base64
import json
import struct
from pathlib import Path

here = Path(__file__).resolve().parent

# Outward faces of the tetrahedron (0,0,0) (1,0,0) (0,1,0) (0,0,1).
TETRA_VERTICES = [(0, 0, 0), (1, 0, 0), (0, 1, 0), (0, 0, 1)]
TETRA_FACES = [(0, 2, 1), (0, 1, 3), (0, 3, 2), (1, 2, 3)]


def write(name, data):
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(here / name, mode) as f:
        f.write(data)


def normal(a, b, c):
    u = [b[i] - a[i] for i in range(3)]
    v = [c[i] - a[i] for i in range(3)]
    return (u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0])


def stl_ascii(faces):
    lines = ["solid tetra"]
    for a, b, c in faces:
        n = normal(a, b, c)
        lines.append("facet normal %g %g %g" % n)
        lines.append(" outer loop")
        for v in (a, b, c):
            lines.append("  vertex %g %g %g" % v)
        lines.append(" endloop")
        lines.append("endfacet")
    lines.append("endsolid tetra")
    return "\n".join(lines) + "\n"


def stl_binary(faces):
    data = b"binary tetra".ljust(80, b" ") + struct.pack("<I", len(faces))
    for a, b, c in faces:
        data += struct.pack("<12fH", *normal(a, b, c), *a, *b, *c, 0)
    return data


def tetra_faces():
    return [tuple(TETRA_VERTICES[i] for i in f) for f in TETRA_FACES]


def gltf_parts(material):
    positions = b"".join(struct.pack("<3f", *v) for v in TETRA_VERTICES)
    indices = b"".join(struct.pack("<3H", *f) for f in TETRA_FACES)
    binary = positions + indices
    document = {
        "asset": {"version": "2.0"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        # The child mirrors the tetrahedron; the parent moves it.
        "nodes": [{"translation": [10, 0, 0], "children": [1]}, {"scale": [-1, 1, 1], "mesh": 0}],
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1, "material": 0}]}],
        "materials": [material],
        "buffers": [{"byteLength": len(binary)}],
        "bufferViews": [
            {"buffer": 0, "byteOffset": 0, "byteLength": len(positions), "target": 34962},
            {"buffer": 0, "byteOffset": len(positions), "byteLength": len(indices), "target": 34963},
        ],
        "accessors": [
            {"bufferView": 0, "componentType": 5126, "count": 4, "type": "VEC3", "min": [0, 0, 0], "max": [1, 1, 1]},
            {"bufferView": 1, "componentType": 5123, "count": 12, "type": "SCALAR"},
        ],
    }
    return document, binary


def glb(document, binary):
    text = json.dumps(document).encode()
    text += b" " * (-len(text) % 4)
    binary += b"\0" * (-len(binary) % 4)
    chunks = struct.pack("<II", len(text), 0x4E4F534A) + text + struct.pack("<II", len(binary), 0x004E4942) + binary
    return struct.pack("<III", 0x46546C67, 2, 12 + len(chunks)) + chunks


def main():
    faces = tetra_faces()
    write("tetra_ascii.stl", stl_ascii(faces))
    write("tetra_binary.stl", stl_binary(faces))

    ply = ["ply", "format ascii 1.0", "element vertex 4", "property float x", "property float y",
           "property float z", "element face 4", "property list uchar int vertex_indices", "end_header"]
    ply += ["%g %g %g" % v for v in TETRA_VERTICES]
    ply += ["3 %d %d %d" % f for f in TETRA_FACES]
    write("tetra.ply", "\n".join(ply) + "\n")

    material = {"pbrMetallicRoughness": {"baseColorFactor": [0.2, 0.4, 0.8, 1.0]}}
    document, binary = gltf_parts(material)
    embedded = dict(document)
    embedded["buffers"] = [{"byteLength": len(binary),
                            "uri": "data:application/octet-stream;base64," + base64.b64encode(binary).decode()}]
    write("tetra_mirrored.gltf", json.dumps(embedded, indent=1) + "\n")
    write("tetra_mirrored.glb", glb(document, binary))

    # Wound inward, but its normals point out: the normals decide.
    obj = ["v %g %g %g" % v for v in TETRA_VERTICES]
    obj += ["vn -1 -1 -1", "vn 1 1 1"]  # outward at the origin corner, and at the far face
    for f in TETRA_FACES:
        n = 2 if f == (1, 2, 3) else 1
        obj.append("f " + " ".join("%d//%d" % (i + 1, n) for i in reversed(f)))
    write("tetra_inward_winding.obj", "\n".join(obj) + "\n")

    # A unit cube of quads with a material from its MTL: Assimp triangulates.
    write("cube.mtl", "newmtl shiny\nKd 0.8 0.2 0.1\nKs 0.5 0.5 0.5\nNs 40\nNi 1.5\nd 0.75\n")
    write("cube.obj", "mtllib cube.mtl\nusemtl shiny\n"
          "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
          "f 1 4 3 2\nf 5 6 7 8\nf 1 2 6 5\nf 3 4 8 7\nf 2 3 7 6\nf 1 5 8 4\n")

    # Faults inside a model that reads: a degenerate triangle (collinear
    # vertices) and a vertex beyond the float range beside a good triangle.
    write("faults.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 2 0 0\nv 0 0 1e39\n"
          "f 1 2 3\nf 1 2 4\nf 1 2 5\n")

    # Broken on purpose.
    write("truncated.stl", stl_binary(faces)[:100])
    write("broken.gltf", '{"asset": {"version": "2.0"}, "meshes": [')
    write("bad_magic.glb", b"glTX" + glb(document, binary)[4:])
    write("unknown.xyz", "this is not a model in any format\n")
    write("empty.ply", "")


if __name__ == "__main__":
    main()
