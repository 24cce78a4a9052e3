#!/usr/bin/env python3
"""A selection archive cut from a region archive carries its textures into another region.

Session 1, on an empty region: `load oar` an archive of three prims whose texture entries use
two textures that the archive carries (one texture per half of the region), then `save oar`.
`vantor-cli extract` cuts the west half out of the server's archive as a region archive: it
carries the west's texture and not the east's. Session 2, on a copy of the tree whose asset
database forgot those textures (a region that never had them): `load oar --merge --displacement` of the
selection, then `save oar`: the server holds the selected prims, moved, and saves the texture
with them, byte for byte.
"""

import base64
import io
import os
import shutil
import sqlite3
import sys
import tarfile
import uuid

from opensim_harness import TROUBLE, Harness, read_archive, texture_uuid

HEADER = "[12:00]  Rezzer: <128, 128, 20>"
BOX = "0, 0, <0, 1, 0>, 0, <0, 0, 0>, <1, 1, 0>, <0, 0, 0>, <0, 1, 0>, <0, 0, 0>, 1, 0, 0, 0"
# name, position, which texture
PRIMS = [("West one", (40, 60, 22), "west"), ("West two", (70, 90, 23), "west"), ("East", (200, 60, 22), "east")]
DISPLACEMENT = (10, 20, 0)


def listing_text():
    lines = [HEADER]
    for name, position, _ in PRIMS:
        lines.append("[12:00]  %s: 7, <%g, %g, %g>, <0, 0, 0, 1>, <1, 1, 1>, " % ((name,) + position))
        lines.append(BOX)
    return "".join(line + "\r\n" for line in lines)


def textured(document, texture):
    """The object with its texture entry's default texture (its first 16 bytes) replaced."""
    start = document.index("<TextureEntry>") + len("<TextureEntry>")
    end = document.index("</TextureEntry>", start)
    entry = base64.b64decode(document[start:end])
    entry = uuid.UUID(texture).bytes + entry[16:]
    return document[:start] + base64.b64encode(entry).decode() + document[end:]


def add_entry(archive, name, data):
    info = tarfile.TarInfo(name)
    info.size = len(data)
    archive.addfile(info, io.BytesIO(data))


def write_source_archive(path, objects, textures):
    """A region archive as OpenSim writes one: archive.xml, the objects, the textures."""
    with tarfile.open(path, "w:gz", format=tarfile.GNU_FORMAT) as archive:
        add_entry(archive, "archive.xml", b'<?xml version="1.0" encoding="utf-16"?><archive major_version="0" '
                  b'minor_version="8"><assets_included>True</assets_included></archive>')
        for number, document in enumerate(objects):
            add_entry(archive, "objects/prim%d__%s.xml" % (number, uuid.uuid4()), document.encode("utf-8"))
        for texture, data in textures.items():
            add_entry(archive, "assets/%s_texture.jp2" % texture, data)


def assets_of(path):
    """The asset entries of an archive: UUID -> bytes."""
    assets = {}
    with tarfile.open(path, "r:gz") as archive:
        for entry in archive:
            if entry.isfile() and entry.name.startswith("assets/"):
                assets[entry.name[len("assets/"):].split("_")[0]] = archive.extractfile(entry).read()
    return assets


def test(h):
    # Textures of their own, new on every run: no region has them unless an archive brings them.
    textures = {"west": str(uuid.uuid4()), "east": str(uuid.uuid4())}
    data = {textures[side]: b"\xff\x4f\xff\x51" + os.urandom(200) for side in textures}
    code, out, err = h.cli("convert", h.write("prims.txt", listing_text()), "--out-dir", h.work, "--rez", "128,128,20")
    h.check(code == 0, "convert the prims", out + err)
    with open(h.path("prims.xml"), encoding="utf-8", newline="") as scene:
        lines = [line for line in scene.read().split("\r\n") if line.startswith("<SceneObjectGroup>")]
    objects = [textured(line, textures[side]) for line, (_, _, side) in zip(lines, PRIMS)]
    write_source_archive(h.path("source.oar"), objects, data)

    server_oar = h.path("server.oar")
    console = h.session(["load oar %s" % h.path("source.oar"), "save oar %s" % server_oar])
    h.check(not TROUBLE.search(console.output_of(0) or ""), "the source archive loads without trouble",
            console.output_of(0) or "")
    saved = assets_of(server_oar)
    h.check(all(saved.get(t) == data[t] for t in data), "the server saves both textures with their objects",
            "saved assets: %s" % sorted(saved))

    selection = h.path("west.oar")
    code, out, err = h.cli("extract", server_oar, "--rect", "0,0,128,256", "--out", selection)
    h.check(code == 0 and "Exported 2 objects and 1 assets" in out, "extract cuts the west half out as an archive",
            out + err)
    carried = assets_of(selection)
    h.check(carried.get(textures["west"]) == data[textures["west"]] and textures["east"] not in carried,
            "the selection carries the west's texture and not the east's", "carried: %s" % sorted(carried))
    h.check(os.path.isfile(h.path("west.txt")), "the listing lies beside the archive")

    # A tree whose region never had the textures: its asset database without them, no asset
    # cache. (A tree without any asset database would take some 5 s more to start.)
    tree = h.path("tree")
    shutil.copytree(h.tree, tree, symlinks=True,
                    ignore=shutil.ignore_patterns(".run.lock", "*.log", "assetcache", "OpenSim.db*"))
    with sqlite3.connect(os.path.join(tree, "Asset.db")) as database:
        dropped = database.execute("DELETE FROM assets WHERE UUID IN (?, ?)", tuple(data)).rowcount
    h.check(dropped == 2, "the copy of the tree forgets both textures", "%d rows deleted" % dropped)
    after_oar = h.path("after.oar")
    console = h.session(["load oar --merge --displacement <%d,%d,%d> %s" % (DISPLACEMENT + (selection,)),
                         "save oar %s" % after_oar], tree=tree)
    h.check(not TROUBLE.search(console.output_of(0) or ""), "the selection loads with --merge without trouble",
            console.output_of(0) or "")
    after = assets_of(after_oar)
    h.check(after.get(textures["west"]) == data[textures["west"]] and textures["east"] not in after,
            "the other region holds the west's texture, byte for byte, and saves it", "saved: %s" % sorted(after))
    loaded = h.read("the other region's archive", read_archive, after_oar) or []
    wanted = {name: position for name, position, side in PRIMS if side == "west"}
    found = {obj.name: obj.root.group_position for obj in loaded}
    h.check(sorted(found) == sorted(wanted)
            and all(abs(found[name][i] - wanted[name][i] - DISPLACEMENT[i]) < 0.001
                    for name in wanted for i in range(3)),
            "the selected prims stand moved by the displacement", "found: %s" % found)
    h.check(all(texture_uuid(obj.root.shape["TextureEntry"]) == textures["west"].replace("-", "") for obj in loaded),
            "their texture entries name the west's texture")


if __name__ == "__main__":
    sys.exit(Harness("selection archive").run_guarded(test))
