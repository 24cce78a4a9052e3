#!/usr/bin/env python3
"""Region archives and linked objects from `vantor-cli convert`, in a real OpenSim region.

One session on an empty region:
- `examples/house.txt` converted with `--format oar` and loaded with `load oar --merge` twice, then
  once more with `--displacement <10,10,0>`: the server holds every prim three times, twice at its
  place and once 10 m over (within 1 mm), with the name, rotation, size and shape values of the
  scene file Vantor writes of the same listing.
- a listing of linked objects (link numbers in field 0) converted with `--link`, as a scene file
  (`load xml2`) and as an archive (`load oar --merge`): each object arrives as one object with all
  its parts, and the server's `save xml2` holds every part at the listing's world position and
  rotation.
- the region's parcel, named by an archive loaded before, keeps its name through all those loads:
  Vantor's archives carry no parcels, so OpenSim keeps the region's own.
A short session before it saves the empty region's archive, whose parcel is renamed for that.
"""

import io
import os
import re
import sys
import tarfile

from opensim_harness import TROUBLE, Harness, close, read_scene
from scene_files_test import HOLLOW_BITS, SHAPE_INTEGERS, SHAPE_TEXTS

HEADER = "[12:00]  Rezzer: <128, 128, 20>"
PARCEL_NAME = "Kept by the region"
HOUSE_REZ = (180, 60, 25)
DISPLACEMENT = (10, 10, 0)
BOX = "0, 16, <0.25, 0.8, 0>, 0.5, <0, 0, 0>, <0.5, 1, 0>, <-0.3, 0, 0>, 0"
CYLINDER = "1, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0.5, 0>, 0"
TORUS = "4, 0, <0.1, 1, 0>, 0, <0, 0.5, 0>, <1, 0.25, 0>, <0, 0, 0>, <0, 1, 0>, <-0.5, 0, 0>, 1, 0, 0, 0"
# field 0, name, position, rotation, size, line B: a gate of three parts turned a quarter about Z,
# a prim alone, and two parts whose root is turned about a slanted axis.
LINKED = [
    (1, "Gate", (120.25, 80.5, 22), (0, 0, 0.7071068, 0.7071068), (4, 0.2, 3), BOX),
    (2, "Post", (120.25, 82.0000000798187, 20.9999999467875), (0.5, 0.5, 0.5, 0.5), (0.3, 0.3, 3), CYLINDER),
    (3, "Ring", (120.25, 80.5, 24.000000106425), (0, 0, 0.7071068, 0.7071068), (1, 1, 0.25), TORUS),
    (1, "Lone", (110, 91, 23), (0, 0, 0, 1), (1, 1, 1), BOX),
    (1, "Base", (100.5, 90.25, 21), (0.1, 0.2, 0.3, 0.9273618), (2, 1, 0.5), CYLINDER),
    (2, "Arm", (103.75, 88, 25.5), (-0.3, 0.1, 0.6, 0.7348469), (0.2, 3, 0.2), BOX),
]
# Where each form of the linked listing stands, and the prefix its names carry.
LINKED_FORMS = {"scene file": ("S ", (64, 96, 30)), "archive": ("A ", (64, 160, 30))}


def vector(values):
    return "<" + ", ".join("%.12g" % v for v in values) + ">"


def linked_listing(prefix):
    lines = [HEADER]
    for link, name, position, rotation, size, line_b in LINKED:
        lines.append("[12:00]  %s%s: %d, %s, %s, %s, " % (prefix, name, link, vector(position), vector(rotation),
                                                          vector(size)))
        lines.append(line_b)
    return "".join(line + "\r\n" for line in lines)


def shape_of(part):
    """The shape values as the server keeps them: the hollow shape merged into ProfileCurve."""
    values = {key: part.shape.get(key) for key in SHAPE_INTEGERS + SHAPE_TEXTS}
    values["ProfileCurve"] = int(part.shape["ProfileCurve"]) | HOLLOW_BITS.get(part.shape.get("HollowShape"), 0)
    return values


def check_house(h, mine, region):
    """Each of Vantor's prims three times: twice at its place, once displaced, as written."""
    faults = []
    for prim in mine:
        held = [obj for obj in region if obj.name == prim.name]
        at_place = [obj for obj in held if close(obj.root.group_position, prim.root.group_position, 0, 1e-3)]
        moved = tuple(p + d for p, d in zip(prim.root.group_position, DISPLACEMENT))
        displaced = [obj for obj in held if close(obj.root.group_position, moved, 0, 1e-3)]
        if len(held) != 3 or len(at_place) != 2 or len(displaced) != 1:
            faults.append("%s: %d objects, %d at %s, %d at %s" % (prim.name, len(held), len(at_place),
                                                               prim.root.group_position, len(displaced), moved))
        for obj in held:
            theirs = obj.root
            if obj.children or not close(theirs.rotation, prim.root.rotation) or not close(theirs.scale,
                                                                                          prim.root.scale):
                faults.append("%s: %d parts, rotation %s, size %s" % (prim.name, 1 + len(obj.children),
                                                                     theirs.rotation, theirs.scale))
            if shape_of(theirs) != shape_of(prim.root):
                faults.append("%s: shape %s kept as %s" % (prim.name, shape_of(prim.root), shape_of(theirs)))
    h.check(len(region) >= 3 * len(mine) and not faults,
            "the archive loads with --merge: twice and once displaced, every prim at its place, as written",
            "\n".join(faults[:20]))


def check_linked(h, label, prefix, rez, region):
    """One object per run of link numbers, each part at the listing's world position and rotation."""
    shift = [r - h0 for r, h0 in zip(rez, (128, 128, 20))]
    expected, objects = [], []
    for link, name, position, rotation, _, _ in LINKED:
        if link == 1:
            expected.append([])
        expected[-1].append((prefix + name, tuple(p + s for p, s in zip(position, shift)), rotation))
    faults = []
    for parts in expected:
        held = [obj for obj in region if obj.name == parts[0][0]]
        if len(held) != 1:
            faults.append("%s: %d objects" % (parts[0][0], len(held)))
            continue
        obj = held[0]
        objects.append(obj)
        listed = obj.parts_in_link_order()
        if [part.name for part in listed] != [name for name, _, _ in parts]:
            faults.append("%s: parts %s" % (obj.name, [part.name for part in listed]))
            continue
        for part, (name, position, rotation) in zip(listed, parts):
            where, turned = obj.world_position(part), obj.world_rotation(part)
            if not close(where, position, 0, 1e-3) or not close(turned, rotation, 0, 1e-5):
                faults.append("%s: at %s turned %s, the listing gives %s turned %s" % (name, where, turned, position,
                                                                                    rotation))
    h.check(not faults, "linked as a %s: one object per run of link numbers with all its parts, each at the "
            "listing's world position and rotation" % label, "\n".join(faults))


def parcel_names(path):
    """The names of the parcels in a region archive."""
    with tarfile.open(path) as archive:
        return [name for member in archive.getmembers() if member.name.startswith("landdata/") and member.isfile()
                for name in re.findall(r"<Name>([^<]*)</Name>", archive.extractfile(member).read().decode("utf-8"))]


def rename_parcel(source, target):
    """Copies a region archive with its parcel renamed PARCEL_NAME."""
    with tarfile.open(source) as archive, tarfile.open(target, "w:gz", format=tarfile.GNU_FORMAT) as out:
        for member in archive.getmembers():
            data = archive.extractfile(member).read() if member.isfile() else None
            if data is not None and member.name.startswith("landdata/"):
                data = re.sub(r"<Name>[^<]*</Name>", "<Name>%s</Name>" % PARCEL_NAME, data.decode("utf-8"),
                              count=1).encode("utf-8")
                member.size = len(data)
            out.addfile(member, io.BytesIO(data) if data is not None else None)


def test(h):
    empty = h.path("empty-region.oar")
    h.session(["save oar " + empty])
    rename_parcel(empty, h.path("parcel.oar"))
    house = os.path.join(h.source, "examples", "house.txt")
    rez = ",".join(map(str, HOUSE_REZ))
    for form in ("xml", "oar"):
        code, out, err = h.cli("convert", house, "--out-dir", h.work, "--rez", rez, "--format", form)
        h.check(code == 0, "convert the house as " + form, out + err)
    for label, (prefix, where) in LINKED_FORMS.items():
        listing = h.write(prefix.strip() + "-linked.txt", linked_listing(prefix))
        form = "oar" if label == "archive" else "xml"
        code, out, err = h.cli("convert", listing, "--out-dir", h.work, "--rez", ",".join(map(str, where)), "--link",
                               "--format", form)
        h.check(code == 0 and "6 prims written as 3 objects" in out, "convert the linked listing as a " + label,
                out + err)
    mine = h.read("Vantor's house.xml", read_scene, h.path("house.xml"))

    saved = h.path("region.xml")
    loaded = "Successfully loaded archive|[Ee]rror|[Ff]ail"
    loads = ["load oar --merge " + h.path("house.oar"), "load oar --merge " + h.path("house.oar"),
             "load oar --merge --displacement <%d,%d,%d> %s" % (DISPLACEMENT + (h.path("house.oar"),)),
             "load xml2 " + h.path("S-linked.xml"), "load oar --merge " + h.path("A-linked.oar")]
    commands = []
    for command in loads:
        commands.append(command)
        if command.startswith("load oar"):
            commands.append("#wait 60 " + loaded)
    after = h.path("after.oar")
    parcel = ["load oar " + h.path("parcel.oar"), "#wait 60 " + loaded]
    console = h.session(parcel + commands + ["save xml2 " + saved, "save oar " + after])
    names = h.read("the server's save oar", parcel_names, after)
    h.check(names == [PARCEL_NAME], "the region's own parcel stays through every load of Vantor's archives",
            "parcels after the loads: %s" % names)
    for index, command in enumerate(loads, start=1):
        output = console.output_of(index)
        trouble = [line for line in (output or "").splitlines() if TROUBLE.search(line)]
        h.check(output is not None and not trouble, "the console shows no error or warning for " + command,
                "\n".join(trouble) if output is not None else "command not found in the console")

    region = h.read("the server's save xml2", read_scene, saved)
    if region is None or mine is None:
        return
    check_house(h, mine, region)
    for label, (prefix, where) in LINKED_FORMS.items():
        check_linked(h, label, prefix, where, region)


if __name__ == "__main__":
    sys.exit(Harness("region archives and linked objects").run_guarded(test))
