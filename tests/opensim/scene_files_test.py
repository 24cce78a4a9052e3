#!/usr/bin/env python3
"""Scene files between Vantor and a real OpenSim region server.

Session 1, on an empty region: `load xml2` the example house and a generated listing of every
prim type with extreme shape values, both converted by `vantor-cli convert`; the house once more;
the real samples; then `save xml2` and `save oar`.
- Each load of Vantor's files prints nothing; the second load of the house is refused object by
  object; the server keeps every prim's owner, position, rotation, size and shape as written.
- `vantor-cli extract` of the server's scene file and of its archive lists every part of every
  object at the world position the server holds, with its name, and gives back the generated
  shape values.
Session 2, on an empty region: the west of the region exported by `extract` from the saved
scene file and the east from the archive load again, and the server saves the same objects;
then, emptied, the same for the samples exported as they are.
"""

import os
import sys

from opensim_harness import (TROUBLE, Harness, close, read_archive, read_listing, read_scene,
                             texture_uuid)

HEADER = "[12:00]  Rezzer: <128, 128, 20>"
REZ = (64.25, 96.5, 30)  # where the generated build stands in the region

# Shape values a record does not name are those of a plain prim.
PLAIN = dict(cut=(0, 1), hollow=0, twist=(0, 0), top=(1, 1), shear=(0, 0), profile_cut=(0, 1),
             taper=(0, 0), revolutions=1, radius=0, skew=0)
TURNED = (0.1, 0.2, 0.3, 0.9273618495495703)
QUARTER = (0, 0, 0.70710678, 0.70710678)

# name, prim type, hole code, Second Life position, rotation, size, shape values
RECORDS = [
    ("Box & <tag> \"quoted\" 'single'", 0, 0, (100.123456789, 100, 21), TURNED, (0.123456789, 2, 3),
     dict(cut=(0.2, 0.9), hollow=0.95, twist=(-1, 1), top=(0, 2), shear=(-0.5, 0.5))),
    ("Cylindre d'été", 1, 16, (101.5, 100.25, 21), QUARTER, (1, 1, 1),
     dict(cut=(0.25, 0.75), hollow=0.5, twist=(1, -1), top=(2, 0), shear=(0.5, -0.5))),
    ("Prisme  Größe Ωμέγα", 2, 32, (102, 100, 21.75), (0, 0, 0, 1), (1, 1, 1),
     dict(cut=(0.5, 1), hollow=0.3, top=(1.5, 0.25), shear=(-0.25, 0.1))),
    ("Sphère à fossette ", 3, 48, (103, 100, 21), (0, 0, 0, 1), (2, 2, 2),
     dict(cut=(0.1, 0.8), hollow=0.95, twist=(-1, 1), top=(0.2, 0.7))),
    ("Torus", 4, 16, (104, 100, 21), (0, 0, 0, 1), (1, 1, 1),
     dict(cut=(0.1, 0.9), hollow=0.95, twist=(-1, 1), top=(0.05, 0.5), shear=(-0.5, 0.5), profile_cut=(0.1, 0.9),
          taper=(-1, 1), revolutions=4, radius=1, skew=0.95)),
    ("Tube", 5, 32, (105, 100, 21), (0, 0, 0, 1), (1, 1, 1),
     dict(hollow=0.95, twist=(1, -1), top=(1, 0.05), shear=(0.5, -0.5), taper=(1, -1), revolutions=4, radius=-1,
          skew=-0.95)),
    (" Ring", 6, 48, (106, 100, 21), (0, 0, 0, 1), (1, 1, 1),
     dict(hollow=0.7, top=(0.5, 0.25), revolutions=2.5, radius=0.5, skew=0.1)),
    # Values that Vantor writes in exponent form (1E-07).
    ("Tiny turn", 0, 0, (108.5, 100.00000001, 21), (0.0000001, 0, 0.00002, 1), (0.01, 0.01, 0.01), {}),
    ("Twin", 0, 0, (107, 100, 21), (0, 0, 0, 1), (1, 1, 1), {}),
    ("Twin", 0, 0, (107, 100, 21), (0, 0, 0, 1), (1, 1, 1), {}),  # identical records stay two prims
]
# What the listing from the server's files gives back where it is not what was generated.
GIVEN_BACK = {}
# A top shear just below zero (-0.001) is written as 0, the byte the server keeps (it would wrap
# a 256 to 0), and so comes back as 0.
RECORDS.append(("Tiny shear", 0, 0, (109, 100, 21), (0, 0, 0, 1), (1, 1, 1), dict(shear=(-0.001, 0))))
GIVEN_BACK["Tiny shear"] = dict(shear=(0, 0))

HOLLOW_BITS = {"Same": 0, "Circle": 16, "Square": 32, "Triangle": 48}
SHAPE_INTEGERS = ["PathBegin", "PathCurve", "PathEnd", "PathRadiusOffset", "PathRevolutions", "PathScaleX",
                  "PathScaleY", "PathShearX", "PathShearY", "PathSkew", "PathTaperX", "PathTaperY", "PathTwist",
                  "PathTwistBegin", "PCode", "ProfileBegin", "ProfileEnd", "ProfileHollow"]
SHAPE_TEXTS = ["ProfileShape", "HollowShape", "ExtraParams"]

# The samples with 42 distinct objects; the others hold the same objects again.
SAMPLES = ["franz-multiline-raw-legacy-lf.xml", "franz-legacy-lf.xml", "sloodle2009-raw-legacy-lf.xml",
           "metaversos-legacy-lf.xml", "opensim-testfixture-2009-legacy-lf.xml"]


def number(value):
    """A listing number as the in-world script prints them: plain decimals, no exponent."""
    text = ("%.12f" % value).rstrip("0").rstrip(".")
    return "0" if text == "-0" else text


def vector(values):
    return "<" + ", ".join(number(v) for v in values) + ">"


def line_b_values(kind, hole, shape):
    v = dict(PLAIN, **shape)
    return [kind, hole, *v["cut"], 0, v["hollow"], *v["twist"], 0, *v["top"], 0, *v["shear"], 0,
            *v["profile_cut"], 0, *v["taper"], 0, v["revolutions"], v["radius"], v["skew"]]


def listing_text():
    lines = [HEADER]
    for name, kind, hole, position, rotation, size, shape in RECORDS:
        lines.append("[12:00]  %s: 7, %s, %s, %s, " % (name, vector(position), vector(rotation), vector(size)))
        values = line_b_values(kind, hole, shape)
        lines.append("%d, %d, %s, %s, %s, %s, %s, %s, %s, %s, %s, %s, 0" % (
            values[0], values[1], vector(values[2:5]), number(values[5]), vector(values[6:9]),
            vector(values[9:12]), vector(values[12:15]), vector(values[15:18]), vector(values[18:21]),
            number(values[21]), number(values[22]), number(values[23])))
    return "".join(line + "\r\n" for line in lines)


def expected_listing_name(part):
    """How a part's name reads in a listing: line breaks become blanks, and so do commas after a
    first ": "; a curved-path prim with extra parameters (a sculpt) is listed as a box named "S*" NAME."""
    name = part.name
    if part.shape.get("ExtraParams") != "AA==" and part.shape.get("PathCurve") == "32":
        name = "S*" + name
    name = name.replace("\r\n", " ").replace("\r", " ").replace("\n", " ")
    first = name.find(": ")
    if first >= 0:
        name = name[:first + 2] + name[first + 2:].replace(",", " ")
    return name


def compare_prims(h, label, written, kept_by_uuid):
    """What the server keeps of each prim Vantor wrote, value by value.

    What the server changes on its own, and so is not compared: it renumbers LocalID, points
    FolderID at the object and counts InventorySerial up, drops the empty Color, ObjectFlags,
    UpdateFlag, RotationalVelocity and the copy of the size inside Shape, and writes the
    elements of its own current layout (AllowedDrop, Buoyancy, ...) with their defaults.
    """
    faults = []
    for obj in written:
        kept = kept_by_uuid.get(obj.uuid)
        if kept is None:
            faults.append("%s (%s): not in the server's file" % (obj.name, obj.uuid))
            continue
        mine, theirs = obj.root, kept.root
        if theirs.name != mine.name:
            faults.append("%s: name kept as %r" % (mine.name, theirs.name))
        if (theirs.owner, theirs.creator) != (mine.owner, mine.creator):
            faults.append("%s: owner and creator %s kept as %s, %s" % (mine.name, mine.owner, theirs.owner,
                                                                      theirs.creator))
        # Positions, rotations and sizes are single-precision floats in the server.
        for what in ("group_position", "rotation", "scale"):
            if not close(getattr(mine, what), getattr(theirs, what)):
                faults.append("%s: %s %s kept as %s" % (mine.name, what, getattr(mine, what), getattr(theirs, what)))
        for key in SHAPE_INTEGERS + SHAPE_TEXTS:
            if theirs.shape.get(key) != mine.shape.get(key):
                faults.append("%s: %s %r kept as %r" % (mine.name, key, mine.shape.get(key), theirs.shape.get(key)))
        # The server merges the hollow shape into ProfileCurve's upper bits.
        merged = int(mine.shape["ProfileCurve"]) | HOLLOW_BITS.get(mine.shape["HollowShape"], 0)
        if int(theirs.shape["ProfileCurve"]) != merged:
            faults.append("%s: ProfileCurve %s with hollow %s kept as %s" % (
                mine.name, mine.shape["ProfileCurve"], mine.shape["HollowShape"], theirs.shape["ProfileCurve"]))
        # The server re-encodes the texture entry in its own longer form; the texture it names stays.
        if texture_uuid(theirs.shape["TextureEntry"]) != texture_uuid(mine.shape["TextureEntry"]):
            faults.append("%s: texture %s kept as %s" % (mine.name, texture_uuid(mine.shape["TextureEntry"]),
                                                         texture_uuid(theirs.shape["TextureEntry"])))
    h.check(not faults, "%s: the server keeps every prim's position, rotation, size and shape" % label,
            "\n".join(faults[:20]))


def compare_listing(h, label, objects, listing_path):
    """Every part of every object, in order, at its world position and with its name."""
    try:
        _, records = read_listing(listing_path)
    except (OSError, ValueError) as error:
        h.check(False, "%s: the listing reads" % label, str(error))
        return []
    expected = [(obj, part) for obj in objects for part in obj.parts_in_link_order()]
    faults = []
    if len(records) != len(expected):
        faults.append("%d records for %d parts" % (len(records), len(expected)))
    for number_, ((obj, part), record) in enumerate(zip(expected, records), 1):
        where, turned = obj.world_position(part), obj.world_rotation(part)
        if record.name != expected_listing_name(part) or not close(record.position, where, 0, 1e-4):
            faults.append("record %d: %r at %s, the server holds %r at %s" % (
                number_, record.name, record.position, part.name, where))
        elif not close(record.rotation, turned, 0, 1e-5) or not close(record.size, part.scale):
            faults.append("record %d (%r): rotation %s and size %s, the server holds %s and %s" % (
                number_, record.name, record.rotation, record.size, turned, part.scale))
    h.check(not faults, "%s: every part is listed at the server's world position, rotation and size, with its name"
            % label, "\n".join(faults[:20]))
    return records


def boundary_between(objects):
    """An x in the middle of the region's objects that no object stands on."""
    xs = sorted(obj.root.group_position[0] for obj in objects)
    middle = len(xs) // 2
    for step in range(len(xs)):
        for i in (middle + step, middle - step):
            if 0 < i < len(xs) and xs[i] - xs[i - 1] > 0.5:
                return (xs[i] + xs[i - 1]) / 2
    raise ValueError("no gap between the objects")


def check_loads(h, console, first, commands, label):
    """A load that works prints nothing: no error or warning for any of them."""
    for index, command in enumerate(commands):
        output = console.output_of(first + index)
        trouble = [line for line in (output or "").splitlines() if TROUBLE.search(line)]
        h.check(output is not None and not trouble, "the console shows no error or warning for " + label(command),
                "\n".join(trouble) if output is not None else "command not found in the console")


def part_summary(obj):
    return [(p.uuid, p.name, obj.world_position(p), p.rotation, p.scale,
             [p.shape.get(k) for k in ["ProfileCurve"] + SHAPE_INTEGERS + SHAPE_TEXTS])
            for p in obj.parts_in_link_order()]


def same_parts(before, after):
    a, b = part_summary(before), part_summary(after)
    return len(a) == len(b) and all(
        x[0] == y[0] and x[1] == y[1] and close(x[2], y[2]) and close(x[3], y[3]) and close(x[4], y[4]) and x[5] == y[5]
        for x, y in zip(a, b))


def test(h):
    generated = h.write("generated.txt", listing_text())
    for listing, rez in ((generated, REZ), (os.path.join(h.source, "examples", "house.txt"), (180, 60, 25))):
        code, out, err = h.cli("convert", listing, "--out-dir", h.work, "--rez", ",".join(map(str, rez)))
        h.check(code == 0, "convert " + os.path.basename(listing), out + err)
    mine = {name: h.read("Vantor's " + name, read_scene, h.path(name)) for name in ("generated.xml", "house.xml")}
    if mine["generated.xml"] is not None:
        h.check(len(mine["generated.xml"]) == len(RECORDS), "every generated record is a prim, identical ones too",
                "%d prims for %d records" % (len(mine["generated.xml"]), len(RECORDS)))

    # Session 1: Vantor's builds, the house once more, the samples; then the server's own files.
    saved, archive = h.path("region.xml"), h.path("region.oar")
    loads = ["load xml2 " + h.path("generated.xml"), "load xml2 " + h.path("house.xml")]
    again = "load xml2 " + h.path("house.xml")
    samples = ["load xml2 " + os.path.join(h.samples, name) for name in SAMPLES]
    console = h.session(loads + [again] + samples + ["save xml2 " + saved, "save oar " + archive])
    check_loads(h, console, 0, loads, lambda command: command)
    output = console.output_of(len(loads)) or ""
    refused = sorted(line.split("already contains object ")[1].split()[0]
                     for line in output.splitlines() if "already contains object " in line)
    h.check(mine["house.xml"] is not None and refused == sorted(obj.uuid for obj in mine["house.xml"]),
            "a second load of the house is refused object by object, by the file's UUIDs", "refused: %s" % refused)

    region = h.read("the server's save xml2", read_scene, saved)
    from_archive = h.read("the server's save oar", read_archive, archive)
    if region is None or from_archive is None:
        return
    kept = {obj.uuid: obj for obj in region}
    expected_count = 42 + sum(len(objects or []) for objects in mine.values())  # the samples hold 42 objects
    h.check(len(region) == expected_count and len(kept) == len(region), "the region holds every object once",
            "%d objects (%d distinct) for %d" % (len(region), len(kept), expected_count))
    for name, objects in mine.items():
        if objects is not None:
            compare_prims(h, name, objects, kept)
    h.check(sorted(o.uuid for o in from_archive) == sorted(kept), "the archive holds the objects of the scene file")

    # What the server wrote, read back by vantor-cli.
    wanted = {name: line_b_values(kind, hole, GIVEN_BACK.get(name, shape))
              for name, kind, hole, _, _, _, shape in RECORDS}
    for label, source, objects, out_name in (("save xml2", saved, region, "from-xml.xml"),
                                             ("save oar", archive, from_archive, "from-oar.xml")):
        code, out, err = h.cli("extract", source, "--out", h.path(out_name))
        h.check(code == 0 and ("Loaded %d objects" % len(objects)) in out, "extract reads the server's " + label,
                out + err)
        records = compare_listing(h, "extract of the server's " + label, objects,
                                  h.path(out_name.replace(".xml", ".txt")))
        # The generated prims give back the shape values they were generated with.
        listed = {record.name for record in records}
        faults = ["%s: not listed" % name for name in wanted if name not in listed]
        for record in records:
            values = wanted.get(record.name)
            if values is not None and (len(record.values) not in (12, 15, 24)
                                       or not close(record.values, values[:len(record.values)], 0, 1e-9)):
                faults.append("%s: %s, generated %s" % (record.name, record.values, values))
        h.check(not faults, "extract of the server's %s gives back the generated shape values" % label,
                "\n".join(faults))

    # Session 2: the west of the region exported from the scene file, the east from the archive.
    boundary = boundary_between(region)
    rectangle = "-1,-1,%r,300" % boundary
    h.cli("extract", saved, "--out", h.path("west.xml"), "--rect", rectangle)
    h.cli("extract", archive, "--out", h.path("east.xml"), "--rect", rectangle, "--invert")
    west = h.read("the exported west", read_scene, h.path("west.xml"))
    east = h.read("the exported east", read_scene, h.path("east.xml"))
    if west is None or east is None:
        return
    h.check(sorted(o.uuid for o in west) == sorted(o.uuid for o in region if o.root.group_position[0] < boundary)
            and sorted(o.uuid for o in east) == sorted(o.uuid for o in region if o.root.group_position[0] > boundary),
            "extract keeps the objects west of x = %.2f, and with --invert those east of it" % boundary,
            "%d west and %d east of %d" % (len(west), len(east), len(region)))
    # The samples as they are (older layouts, raw line breaks, <Guid> identifiers), exported whole.
    sample_exports = []
    for name in SAMPLES:
        code, out, err = h.cli("extract", os.path.join(h.samples, name), "--out", h.path("export-" + name))
        h.check(code == 0, "extract exports the sample " + name, out + err)
        sample_exports.append(h.path("export-" + name))
    sample_uuids = {obj.uuid for name in SAMPLES for obj in read_scene(os.path.join(h.samples, name))}

    halves_saved, samples_saved = h.path("halves-again.xml"), h.path("samples-again.xml")
    reloads = ["load xml2 " + h.path("west.xml"), "load xml2 " + h.path("east.xml")]
    console = h.session(reloads + ["save xml2 " + halves_saved, "delete object name --regex .*", "#if-asked y"]
                        + ["load xml2 " + path for path in sample_exports] + ["save xml2 " + samples_saved])
    check_loads(h, console, 0, reloads, lambda command: "the exported " + os.path.basename(command))
    for label, path, before in (("the region's halves", halves_saved, kept),
                                ("the samples", samples_saved, {u: o for u, o in kept.items() if u in sample_uuids})):
        reloaded = h.read("the server's save xml2 of %s exported" % label, read_scene, path)
        if reloaded is None:
            continue
        reloaded = {obj.uuid: obj for obj in reloaded}
        faults = [] if sorted(reloaded) == sorted(before) else [
            "%d objects, expected %d" % (len(reloaded), len(before))]
        faults += ["%s (%s) differs after the reload" % (obj.name, uuid) for uuid, obj in before.items()
                   if uuid in reloaded and not same_parts(obj, reloaded[uuid])]
        h.check(not faults, "%s, exported by extract, load into an empty region and the server saves the same objects"
                % label, "\n".join(faults[:20]))


if __name__ == "__main__":
    sys.exit(Harness("scene files").run_guarded(test))
