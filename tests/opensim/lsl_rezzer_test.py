"""The rezzer in a real region. A listing exported by vantor-cli extract (a generated linkset of
every prim type and a few single prims, with link numbers in the records' first field and a
first line asking for linking), with one record that cannot be read and one whose place lies
outside the region, goes into a rezzer object built here: the rezzer script, the listing as a
notecard, and a box object holding the box script. The rezzer starts on its own ("build on
start" in its description). The server's own save must then hold one prim per good record, at
the place the listing gives relative to the rezzer (1 mm), with its rotation (1e-5), size, shape
values and name, no prim holding a script, the prims linked into the listing's objects in
listing order, the rezzer alone again, and the rezzer's report naming the two bad lines.

No avatar is there to grant the permission to change links, so the region runs with OpenSim's
AutomaticLinkPermission for this test (set in the tree, and taken back afterwards)."""
import os
import re
import subprocess
import sys
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lsl_support import (CLI, EVERY_TYPE, SERVER, SOURCE, TREE, _part, compare_prim, compile_check, convert, every_type_group, fail, finish,
                         header_position, item_xml, notecard_asset, require_environment, run_console, scene_groups,
                         server_object, with_inventory, work_folder, write_oar)

require_environment()
work = work_folder()
rezzer_script = os.path.join(SOURCE, "lsl", "rezzer.lsl")
box_script = os.path.join(SOURCE, "lsl", "rezzer-box.lsl")
compile_check([rezzer_script, box_script])

# The build to carry: the every-type linkset and four single prims, as a scene file.
singles = [_part(str(uuid.uuid4()), "Step %d" % i, (66.0 + i, 64.0, 24.0 + 0.25 * i), (0, 0, 0),
                 (0, 0, 0, 1), (1, 0.5, 0.25), {}, 0) for i in range(4)]
scene = os.path.join(work, "build.xml")
with open(scene, "w", encoding="utf-8") as f:
    f.write("<scene>\n" + every_type_group() + "".join("<SceneObjectGroup>%s<OtherParts /></SceneObjectGroup>" % p
                                                     for p in singles) + "</scene>\n")
run = subprocess.run([CLI, "extract", scene, "--out", os.path.join(work, "export.xml")], capture_output=True, text=True)
if run.returncode != 0:
    fail("vantor-cli extract: exit %d\n%s%s" % (run.returncode, run.stdout, run.stderr))
    finish("lsl_rezzer")
exported = open(os.path.join(work, "export.txt"), encoding="utf-8", newline="").read().split("\r\n")
while exported and exported[-1] == "":
    exported.pop()
header, records = exported[0], [exported[i:i + 2] for i in range(1, len(exported), 2)]
# Link numbers in the first field: the linkset's parts 1 to 8, then each single prim 1.
link_numbers = list(range(1, len(EVERY_TYPE) + 1)) + [1] * len(singles)
records = [[re.sub(r": \d+, <", ": %d, <" % number, record[0], count=1), record[1]]
           for record, number in zip(records, link_numbers)]

# Two bad records after the third: a value that is no number, and a place outside the region.
origin = header_position(header)
bad = [["[9:05]  Broken: 1, <1, 2, x>, <0, 0, 0, 1>, <1, 1, 1>, ", records[0][1]],
       ["[9:05]  Far away: 1, <%r, %r, %r>, <0, 0, 0, 1>, <1, 1, 1>, " % (origin[0] + 200, origin[1], origin[2]),
        records[0][1]]]
lines = ["link", header] + [line for record in records[:3] + bad + records[3:] for line in record]
bad_lines = [3 + 2 * 3, 3 + 2 * 4]
listing = "\r\n".join(lines) + "\r\n"
good = "\r\n".join([header] + [line for record in records for line in record]) + "\r\n"

# The rezzer: one prim holding the rezzer script, the listing and the box, which holds its script.
rezzer_at = (100.0, 100.0, 25.0)
ids = {name: str(uuid.uuid4()) for name in ("rezzer", "box", "notecard", "box object", "box part")}
box_part = with_inventory(_part(ids["box part"], "Box", (0, 0, 0), (0, 0, 0), (0, 0, 0, 1), (0.5, 0.5, 0.5), {}, 0),
                          lambda part: item_xml("rezzer-box", "script", ids["box"], part))
box_group = "<SceneObjectGroup><RootPart>%s</RootPart><OtherParts /></SceneObjectGroup>" % box_part
rezzer = with_inventory(
    "<SceneObjectGroup>%s<OtherParts /></SceneObjectGroup>" % _part(
        str(uuid.uuid4()), "Rezzer", rezzer_at, (0, 0, 0), (0, 0, 0, 1), (0.5, 0.5, 0.5), {}, 0).replace(
        "<Description />", "<Description>build on start</Description>", 1),
    lambda part: item_xml("rezzer", "script", ids["rezzer"], part) + item_xml("Listing", "notecard", ids["notecard"], part)
    + item_xml("Box", "object", ids["box object"], part))
write_oar(os.path.join(work, "in.oar"), [rezzer], [
    (ids["rezzer"], "script.lsl", open(rezzer_script, "rb").read()),
    (ids["box"], "script.lsl", open(box_script, "rb").read()),
    (ids["notecard"], "notecard.txt", notecard_asset(listing.replace("\r\n", "\n"))),
    (ids["box object"], "object.xml", box_group.encode("utf-8")),
])

ini = os.path.join(TREE, "OpenSim.ini")
saved_ini = open(ini, "rb").read()
subprocess.run(["python3", os.path.join(SERVER, "tools", "iniset.py"), ini, "XEngine", "AutomaticLinkPermission", "true"],
               check=True, capture_output=True)
try:
    run_console([
        "load oar %s/in.oar" % work,
        "#until 90 1 Description\\s*:\\s*(Done|Stopped) !! \\[SCRIPT ERROR\\] :: show part name Rezzer",
        "save xml2 %s/after.xml" % work,
    ], work, ["rezzer.lsl", "rezzer-box.lsl"])
finally:
    with open(ini, "wb") as f:
        f.write(saved_ini)
if not os.path.exists(os.path.join(work, "after.xml")):
    finish("lsl_rezzer")

held = [server_object(group) for group in scene_groups(os.path.join(work, "after.xml"))]
reports = [parts[0]["description"] for parts in held if parts[0]["name"] == "Rezzer"]
print("rezzer: %r" % reports)
expected_report = "Done: %d prims, skipped lines %d, %d, linked" % (len(records), bad_lines[0], bad_lines[1])
if reports != [expected_report]:
    fail("the rezzer reports %r, not %r" % (reports, expected_report))

made = convert(good, work, "expected", rezzer_at)
# The objects the linking must give: the records' names in listing order, an object beginning at
# each record whose first field is 1.
expected_objects = []
for prim, number in zip(made, link_numbers):
    if number == 1:
        expected_objects.append([])
    expected_objects[-1].append(prim)
rezzer_parts = [parts for parts in held if parts[0]["name"] == "Rezzer"]
if [len(parts) for parts in rezzer_parts] != [1]:
    fail("the rezzer is not alone again: %r" % [[p["name"] for p in parts] for parts in rezzer_parts])
built = sorted(([p["name"] for p in parts] for parts in held if parts[0]["name"] != "Rezzer"))
wanted = sorted([p["name"] for p in prims] for prims in expected_objects)
if built != wanted:
    fail("objects by their parts' names in link order: %r, not %r" % (built, wanted))
prims = {}
for parts in held:
    if parts[0]["name"] == "Rezzer":
        continue
    for part in parts:
        if part["inventory"]:
            fail("%r still holds %r" % (part["name"], part["inventory"]))
        prims.setdefault(part["name"], []).append(part)
for prim in made:
    found = prims.pop(prim["name"], [])
    if len(found) != 1:
        fail("%d prims named %r in the region, not one" % (len(found), prim["name"]))
        continue
    if prim["PathRadiusOffset"] < 0 and found[0]["PathRadiusOffset"] == 0:
        # OpenSim 0.9.1.1's llSetPrimitiveParams sets a negative radius offset to 0 (Second Life
        # takes it); no script can place it there.
        prim = dict(prim, PathRadiusOffset=0.0)
    compare_prim("rezzed %r" % prim["name"], found[0], prim, prim["name"])
if prims:
    fail("prims no record asked for: %r" % sorted(prims))
print("compared %d rezzed prims" % len(made))
finish("lsl_rezzer")
