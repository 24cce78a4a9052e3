"""What the in-world script tests share: the server and the programs they drive, region
archives with prim inventories, the objects as the server holds them, and the comparison of a
listing's prims, converted by vantor-cli, with those objects."""
import io
import math
import os
import re
import subprocess
import sys
import tarfile
import tempfile
import time
import uuid
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

SERVER = os.environ.get("VANTOR_OPENSIM_SERVER", "")
TREE = os.environ.get("VANTOR_OPENSIM_TREE", "")
CLI = os.environ.get("VANTOR_CLI", "")
LSL_BUILT = os.environ.get("VANTOR_LSL_BUILT", "")
SOURCE = os.environ.get("VANTOR_SOURCE_DIR", "")
SAMPLES = os.path.join(SERVER, "..", "opensim-samples")
NIL = "00000000-0000-0000-0000-000000000000"
# Owner of every object and item in the archives: an unknown user, whom `load oar` replaces with
# the estate owner, so that OSSL functions allowed to the estate owner work.
OWNER = "11111111-0000-0000-0000-00000000aaaa"

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message, file=sys.stderr)


def finish(name):
    """Ends the test: its closing line, and its exit code."""
    print("%s: %d failed" % (name, len(failures)))
    sys.exit(1 if failures else 0)


def require_environment():
    missing = [n for n, v in (("VANTOR_OPENSIM_SERVER", SERVER), ("VANTOR_OPENSIM_TREE", TREE),
                              ("VANTOR_CLI", CLI), ("VANTOR_LSL_BUILT", LSL_BUILT),
                              ("VANTOR_SOURCE_DIR", SOURCE)) if not v]
    if missing:
        sys.exit("missing environment: " + ", ".join(missing))
    if not os.path.isfile(os.path.join(TREE, "OpenSim.exe")):
        sys.exit("no server tree at %s: install it with %s/install.sh %s" % (TREE, SERVER, TREE))


def compile_check(scripts):
    """Checks each script with OpenSim's own compiler; a failure names the script and its lines,
    and ends the test before any server run."""
    checker = os.path.join(SERVER, "tools", "lslcheck", "lslcheck.exe")
    env = dict(os.environ, MONO_PATH=TREE)
    for script in scripts:
        run = subprocess.run(["mono", checker, TREE, script], env=env, capture_output=True, text=True)
        output = (run.stdout + run.stderr).strip()
        if run.returncode != 0 or output:
            fail("OpenSim's compiler on %s (exit %d):\n%s" % (os.path.basename(script), run.returncode, output))
    if failures:
        sys.exit(1)


def run_console(commands, work, scripts=()):
    """Runs console commands in a fresh region; returns the console transcript. A script error
    fails the test with the server's report of it (the error, the event and the prim it ran in:
    the server names no script line) and the names of the scripts in the run."""
    path = os.path.join(work, "commands")
    with open(path, "w") as f:
        f.write("\n".join(commands) + "\n")
    log = os.path.join(work, "console.log")
    started = time.time()
    run = subprocess.run([os.path.join(SERVER, "run.sh"), "-b", TREE, "--fresh", path, "-o", log],
                         capture_output=True, text=True)
    print("server run: %.1f s (run.sh exit %d)" % (time.time() - started, run.returncode))
    transcript = open(log, errors="replace").read() if os.path.exists(log) else ""
    if run.returncode != 0:
        errors = script_errors(transcript)
        fail("the server run ended with run.sh exit %d%s\n%s\nconsole tail:\n%s" % (
            run.returncode, " (a script error in one of: %s)" % ", ".join(scripts) if run.returncode == 6 else "",
            errors or run.stderr[-2000:], "\n".join(transcript.splitlines()[-25:])))
    return transcript


def script_errors(transcript):
    """The server's script error reports (they name the script, the object and the line)."""
    lines, keep = [], False
    for line in transcript.splitlines():
        if "[SCRIPT ERROR]" in line or "Runtime error" in line:
            keep = True
        elif re.match(r"\d\d:\d\d:\d\d - |Region \(|show part|Name +:", line):
            keep = False
        if keep and len(lines) < 60:
            lines.append(line)
    return "\n".join(lines)


# ---- region archives --------------------------------------------------------------------

def item_xml(name, kind, asset, part_id, owner=OWNER):
    """One prim inventory item: kind is "script", "notecard" or "object"."""
    inv_type, asset_type = {"script": (10, 10), "notecard": (7, 7), "object": (6, 6)}[kind]
    u = lambda tag, value: "<%s><UUID>%s</UUID></%s>" % (tag, value, tag)
    return ("<TaskInventoryItem>" + u("AssetID", asset) +
            "<BasePermissions>2147483647</BasePermissions><CreationDate>%d</CreationDate>" % int(time.time()) +
            u("CreatorID", owner) + "<Description>%s</Description>" % escape(name) +
            "<EveryonePermissions>0</EveryonePermissions><Flags>0</Flags>" + u("GroupID", NIL) +
            "<GroupPermissions>0</GroupPermissions><InvType>%d</InvType>" % inv_type +
            u("ItemID", str(uuid.uuid4())) + u("OldItemID", NIL) + u("LastOwnerID", owner) +
            "<Name>%s</Name><NextPermissions>2147483647</NextPermissions>" % escape(name) + u("OwnerID", owner) +
            "<CurrentPermissions>2147483647</CurrentPermissions>" + u("ParentID", part_id) +
            u("ParentPartID", part_id) + u("PermsGranter", NIL) +
            "<PermsMask>0</PermsMask><Type>%d</Type><OwnerChanged>false</OwnerChanged></TaskInventoryItem>" % asset_type)


def notecard_asset(text):
    """A notecard asset: the text inside the notecard wrapper."""
    body = text.encode("utf-8")
    return (b"Linden text version 2\n{\nLLEmbeddedItems version 1\n{\ncount 0\n}\nText length %d\n" % len(body)
            + body + b"}\n")


def notecard_text(data):
    match = re.search(rb"Text length (\d+)\n", data)
    if not match:
        return data.decode("utf-8", "replace")
    return data[match.end():match.end() + int(match.group(1))].decode("utf-8", "replace")


def fresh_ids(group):
    """The object text with every part's identifier replaced by a new one."""
    for old in re.findall(r"<UUID>\s*<(?:UUID|Guid)>([0-9a-fA-F-]{36})</", group):
        group = group.replace(old, str(uuid.uuid4()))
    return group


def with_inventory(group, items_of_root):
    """The object text with every part's inventory emptied (and script states dropped), and the
    root part holding the given items; items_of_root(part_id) gives their XML."""
    group = re.sub(r"<GroupScriptStates>.*?</GroupScriptStates>", "", group, flags=re.S)
    group = re.sub(r"<TaskInventory>.*?</TaskInventory>|<TaskInventory\s*/>", "<TaskInventory />", group, flags=re.S)
    start = group.index("<SceneObjectPart")
    end = group.index("</SceneObjectPart>", start)
    root = group[start:end]
    part_id = re.search(r"<UUID>\s*<(?:UUID|Guid)>([0-9a-fA-F-]{36})</", root).group(1)
    items = items_of_root(part_id)
    if "<TaskInventory />" in root:
        root = root.replace("<TaskInventory />", "<TaskInventory>%s</TaskInventory>" % items, 1)
    else:
        root = root.replace("</InventorySerial>", "</InventorySerial><TaskInventory>%s</TaskInventory>" % items, 1)
    return group[:start] + root + group[end:]


def write_oar(path, objects, assets):
    """objects: SceneObjectGroup texts; assets: (uuid, extension, bytes), extension as the
    archive names it ("script.lsl", "notecard.txt", "object.xml")."""
    control = (b'<?xml version="1.0" encoding="utf-8"?>\n<archive major_version="0" minor_version="8">'
               b"<creation_info><datetime>%d</datetime><id>%s</id></creation_info>"
               b"<assets_included>True</assets_included></archive>\n" % (int(time.time()), NIL.encode()))

    def add(tar, name, payload):
        info = tarfile.TarInfo(name)
        info.size = len(payload)
        info.mtime = int(time.time())
        info.mode = 0o644
        tar.addfile(info, io.BytesIO(payload))

    # GNU format: the server's reader takes GNU long names, not the USTAR prefix field.
    with tarfile.open(path, "w:gz", format=tarfile.GNU_FORMAT) as tar:
        add(tar, "archive.xml", control)
        for asset_id, extension, payload in assets:
            add(tar, "assets/%s_%s" % (asset_id, extension), payload)
        for number, group in enumerate(objects):
            add(tar, "objects/object%03d__%s.xml" % (number, uuid.uuid4()), group.encode("utf-8"))


def scene_groups(path):
    """The SceneObjectGroup texts of a scene file. The server ends a hover text with a NUL,
    written "&#x0;", which no XML parser takes (its own reader cleans it): it is dropped."""
    text = open(path, "rb").read().decode("utf-8").replace("&#x0;", "")
    return re.findall(r"<SceneObjectGroup\b.*?</SceneObjectGroup>", text, re.S)


# ---- objects as the server holds them ------------------------------------------------------

def child(element, *names):
    """The first child of element whose tag is one of names, in any letter case."""
    wanted = {n.lower() for n in names}
    for c in element:
        if c.tag.lower() in wanted:
            return c
    return None


def numbers(element, names):
    return [float(child(element, n).text) for n in names]


def q_multiply(a, b):
    ax, ay, az, aw = a
    bx, by, bz, bw = b
    return (aw * bx + ax * bw + ay * bz - az * by,
            aw * by - ax * bz + ay * bw + az * bx,
            aw * bz + ax * by - ay * bx + az * bw,
            aw * bw - ax * bx - ay * by - az * bz)


def q_rotate(q, v):
    x, y, z, _ = q_multiply(q_multiply(q, (v[0], v[1], v[2], 0.0)), (-q[0], -q[1], -q[2], q[3]))
    return (x, y, z)


SHAPE_FIELDS = ["PathBegin", "PathCurve", "PathEnd", "PathRadiusOffset", "PathRevolutions", "PathScaleX",
                "PathScaleY", "PathShearX", "PathShearY", "PathSkew", "PathTaperX", "PathTaperY", "PathTwist",
                "PathTwistBegin", "ProfileBegin", "ProfileEnd", "ProfileHollow"]


def part_values(part):
    shape = child(part, "Shape")
    description = child(part, "Description")
    values = {"name": (child(part, "Name").text or ""), "link": int(child(part, "LinkNum").text or 0),
              "description": description.text or "" if description is not None else ""}
    for field in SHAPE_FIELDS:
        values[field] = float(child(shape, field).text)
    values["profile"] = int(float(child(shape, "ProfileCurve").text)) & 0x0F
    values["hollowShape"] = child(shape, "HollowShape").text
    sculpt = child(shape, "SculptEntry")
    values["sculpt"] = sculpt is not None and sculpt.text == "true"
    scale = child(part, "Scale")
    values["size"] = numbers(scale, "XYZ")
    inventory = child(part, "TaskInventory")
    values["inventory"] = [(child(i, "Name").text or "", child(i, "Type").text)
                           for i in (inventory if inventory is not None else [])]
    return values


def server_object(group_text):
    """An object as the server holds it: its parts with world position and rotation, in link
    order (root first)."""
    group = ET.fromstring(group_text)
    parts = [p for p in group.iter() if p.tag == "SceneObjectPart"]
    root = parts[0]
    root_pos = numbers(child(root, "GroupPosition"), "XYZ")
    root_rot = tuple(numbers(child(root, "RotationOffset"), "XYZW"))
    result = []
    for index, part in enumerate(parts):
        values = part_values(part)
        if index == 0:
            values["position"], values["rotation"] = root_pos, root_rot
            values["link"] = 1
        else:
            offset = q_rotate(root_rot, numbers(child(part, "OffsetPosition"), "XYZ"))
            values["position"] = [root_pos[i] + offset[i] for i in range(3)]
            values["rotation"] = q_multiply(root_rot, tuple(numbers(child(part, "RotationOffset"), "XYZW")))
        result.append(values)
    result.sort(key=lambda v: v["link"])
    return result


def oar_objects(path):
    """The objects of a region archive the server saved, and its notecards by asset id."""
    objects, notecards = [], {}
    with tarfile.open(path) as tar:
        for member in tar.getmembers():
            if member.name.startswith("objects/"):
                objects.append(tar.extractfile(member).read().decode("utf-8"))
            match = re.match(r"assets/([0-9a-f-]{36})_notecard\.txt$", member.name)
            if match:
                notecards[match.group(1)] = notecard_text(tar.extractfile(member).read())
    return objects, notecards


def root_notecards(group_text, notecards):
    """The notecards of an object's root prim, by name."""
    group = ET.fromstring(group_text)
    root = next(p for p in group.iter() if p.tag == "SceneObjectPart")
    found = {}
    inventory = child(root, "TaskInventory")
    for item in inventory if inventory is not None else []:
        if child(item, "Type").text == "7":
            asset = child(child(item, "AssetID"), "UUID", "Guid").text
            if asset in notecards:
                found[child(item, "Name").text] = notecards[asset]
    return found


# ---- listings through vantor-cli --------------------------------------------------------------

def header_position(listing):
    match = re.search(r"<([^,>]*),([^,>]*),([^,>]*)>", listing.split("\n", 1)[0])
    return [float(match.group(i).strip()) for i in (1, 2, 3)]


def convert(listing, work, name, rez):
    """The listing's prims as vantor-cli convert writes them, placed at rez: one value dict each."""
    path = os.path.join(work, name + ".txt")
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(listing)
    run = subprocess.run([CLI, "convert", path, "--out-dir", work, "--name", name, "--force",
                          "--rez", ",".join(repr(c) for c in rez)], capture_output=True, text=True)
    if run.returncode != 0:
        fail("vantor-cli convert of %s: exit %d\n%s%s" % (name, run.returncode, run.stdout, run.stderr))
        return []
    documents = ET.fromstring(open(os.path.join(work, name + ".xml"), "rb").read())
    result = []
    for group in documents:
        part = next(p for p in group.iter() if p.tag == "SceneObjectPart")
        values = part_values(part)
        values["position"] = numbers(child(part, "GroupPosition"), "XYZ")
        values["rotation"] = tuple(numbers(child(part, "RotationOffset"), "XYZW"))
        result.append(values)
    return result


def listing_name(name):
    """A prim name as the printers write it."""
    name = name.strip()
    while ": " in name:
        name = name.replace(": ", ":", 1)
    return (name or "Object")[:63]


BOX = {"PathBegin": 0, "PathCurve": 16, "PathEnd": 0, "PathRadiusOffset": 0, "PathRevolutions": 0,
       "PathScaleX": 100, "PathScaleY": 100, "PathShearX": 0, "PathShearY": 0, "PathSkew": 0, "PathTaperX": 0,
       "PathTaperY": 0, "PathTwist": 0, "PathTwistBegin": 0, "ProfileBegin": 0, "ProfileEnd": 0,
       "ProfileHollow": 0, "profile": 1, "hollowShape": "Same"}


def compare_prim(label, held, made, expected_name=None):
    """One prim as the server holds it against the same prim as a listing made it: position and
    size to 1 mm, rotation to 1e-5 a component (q and -q are one rotation), the same shape
    values, save what a listing cannot carry: sculpted and mesh prims come as plain boxes
    (named "S*..."), flexible paths as straight ones."""
    problems = []
    for what in ("position", "size"):
        if any(abs(a - b) > 0.001 for a, b in zip(held[what], made[what])):
            problems.append("%s %s, listing gives %s" % (what, held[what], made[what]))
    rot = held["rotation"]
    if min(max(abs(a - s * b) for a, b in zip(rot, made["rotation"])) for s in (1, -1)) > 1e-5:
        problems.append("rotation %s, listing gives %s" % (rot, made["rotation"]))
    expected = dict((f, held[f]) for f in BOX)
    if held["sculpt"]:
        expected = dict(BOX)
    elif held["PathCurve"] == 128:
        expected["PathCurve"] = 16
    for field, value in expected.items():
        if isinstance(value, str) or field == "profile":
            if made[field] != value:
                problems.append("%s %r, listing gives %r" % (field, value, made[field]))
        elif abs(made[field] - value) > 1e-6:
            problems.append("%s %s, listing gives %s" % (field, value, made[field]))
    if expected_name is not None and made["name"] != expected_name:
        problems.append("name %r, listing gives %r" % (expected_name, made["name"]))
    if problems:
        fail("%s: %s" % (label, "; ".join(problems)))


def expected_listing_name(held):
    return listing_name(("S*" if held["sculpt"] else "") + held["name"])


# ---- a generated build: every prim type, hole shape and extreme shape value ----------------

def _vector(tag, values):
    return "<%s>%s</%s>" % (tag, "".join("<%s>%r</%s>" % (c, float(v), c) for c, v in zip("XYZW", values)), tag)


def _part(part_id, name, group_pos, offset, rotation, scale, shape, link):
    values = dict(ProfileCurve=1, PathBegin=0, PathCurve=16, PathEnd=0, PathRadiusOffset=0, PathRevolutions=0,
                  PathScaleX=100, PathScaleY=100, PathShearX=0, PathShearY=0, PathSkew=0, PathTaperX=0,
                  PathTaperY=0, PathTwist=0, PathTwistBegin=0, PCode=9, ProfileBegin=0, ProfileEnd=0,
                  ProfileHollow=0, State=0, ProfileShape="Square", HollowShape="Same")
    values.update(shape)
    hollow_bits = {"Same": 0, "Circle": 0x10, "Square": 0x20, "Triangle": 0x30}[values["HollowShape"]]
    profile_bits = {"Circle": 0, "Square": 1, "EquilateralTriangle": 3, "HalfCircle": 5}[values["ProfileShape"]]
    values["ProfileCurve"] = profile_bits | hollow_bits
    order = ["ProfileCurve", "TextureEntry", "ExtraParams", "PathBegin", "PathCurve", "PathEnd",
             "PathRadiusOffset", "PathRevolutions", "PathScaleX", "PathScaleY", "PathShearX", "PathShearY",
             "PathSkew", "PathTaperX", "PathTaperY", "PathTwist", "PathTwistBegin", "PCode", "ProfileBegin",
             "ProfileEnd", "ProfileHollow", "State", "ProfileShape", "HollowShape"]
    values["TextureEntry"] = "iQe18Xd6TTuBZd/Ryj5FWQAAAAAAAAAAgD8AAACAPwAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=="
    values["ExtraParams"] = "AA=="
    u = lambda tag, value: "<%s><UUID>%s</UUID></%s>" % (tag, value, tag)
    return ('<SceneObjectPart xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" '
            'xmlns:xsd="http://www.w3.org/2001/XMLSchema"><AllowedDrop>false</AllowedDrop>' + u("CreatorID", OWNER) +
            u("FolderID", part_id) + "<InventorySerial>0</InventorySerial><TaskInventory />" + u("UUID", part_id) +
            "<LocalId>0</LocalId><Name>%s</Name><Material>3</Material>" % escape(name) +
            "<PassTouches>false</PassTouches><PassCollisions>false</PassCollisions>"
            "<RegionHandle>1099511628032000</RegionHandle><ScriptAccessPin>0</ScriptAccessPin>" +
            _vector("GroupPosition", group_pos) + _vector("OffsetPosition", offset) +
            _vector("RotationOffset", rotation) + _vector("Velocity", (0, 0, 0)) +
            _vector("AngularVelocity", (0, 0, 0)) + _vector("Acceleration", (0, 0, 0)) +
            "<Description /><Color><R>0</R><G>0</G><B>0</B><A>255</A></Color><Text /><SitName /><TouchName />"
            "<LinkNum>%d</LinkNum><ClickAction>0</ClickAction><Shape>" % link +
            "".join("<%s>%s</%s>" % (k, values[k], k) for k in order) + "</Shape>" + _vector("Scale", scale) +
            "<ParentID>0</ParentID><CreationDate>1700000000</CreationDate><Category>0</Category>"
            "<SalePrice>10</SalePrice><ObjectSaleType>0</ObjectSaleType><OwnershipCost>0</OwnershipCost>" +
            u("GroupID", NIL) + u("OwnerID", OWNER) + u("LastOwnerID", OWNER) +
            "<BaseMask>2147483647</BaseMask><OwnerMask>2147483647</OwnerMask><GroupMask>0</GroupMask>"
            "<EveryoneMask>0</EveryoneMask><NextOwnerMask>2147483647</NextOwnerMask><Flags>None</Flags>" +
            u("CollisionSound", NIL) + "<CollisionSoundVolume>0</CollisionSoundVolume></SceneObjectPart>")


def z_turn(degrees):
    half = math.radians(degrees) / 2
    return (0.0, 0.0, round(math.sin(half), 7), round(math.cos(half), 7))


# The parts of the generated build: name, offset from the root, rotation (root's frame), size,
# shape values in the server's units. Every prim type (0 to 6), every hole shape, the extremes
# of cut, hollow, twist, top size, shear, taper, dimple, revolutions, radius offset and skew.
EVERY_TYPE = [
    ("Root box", (0, 0, 0), (0, 0, 0, 1), (2, 1.5, 0.5),
     dict(HollowShape="Square", ProfileBegin=10000, ProfileEnd=5000, ProfileHollow=47500, PathScaleX=150,
          PathScaleY=50, PathShearX=206, PathShearY=50, PathTwist=100, PathTwistBegin=-100)),
    ("Cylinder & <co>", (3, 0, 0), (0.7071068, 0, 0, 0.7071068), (0.5, 0.5, 2),
     dict(ProfileShape="Circle", HollowShape="Circle", ProfileHollow=25000, PathTwist=50, PathScaleX=0)),
    ("Prism: \"tall\"", (0, 3, 0), (0, 0, 0.3826834, 0.9238795), (1, 1, 3),
     dict(ProfileShape="EquilateralTriangle", HollowShape="Triangle", ProfileHollow=5000, PathScaleY=200,
          PathShearX=50)),
    (" Kugel grün", (-3, 0, 1), (0, 0, 0, 1), (1.5, 1.5, 1.5),
     dict(ProfileShape="HalfCircle", PathCurve=32, ProfileBegin=10000, ProfileEnd=10000, PathBegin=12500,
          PathEnd=12500, ProfileHollow=10000)),
    ("Torus", (0, -3, 1), (0, 0, -0.5, 0.8660254), (2, 2, 0.5),
     dict(ProfileShape="Circle", PathCurve=32, PathScaleX=150, PathScaleY=175, PathShearX=226, PathShearY=30,
          PathBegin=6250, PathEnd=6250, ProfileBegin=5000, ProfileEnd=5000, PathTaperX=-50, PathTaperY=50,
          PathRevolutions=200, PathRadiusOffset=50, PathSkew=20, ProfileHollow=20000)),
    ("Tube", (3, 3, 1), (0.5, 0.5, 0.5, 0.5), (1, 1, 1),
     dict(PathCurve=32, HollowShape="Circle", ProfileHollow=30000, PathRevolutions=66, PathSkew=-30, PathScaleY=150,
          PathRadiusOffset=-40, PathTaperX=100, PathTaperY=-100, PathTwist=-50, PathTwistBegin=25)),
    ("Ring", (-3, -3, 1), (0, 0.2588190, 0, 0.9659258), (1.2, 0.8, 0.6),
     dict(ProfileShape="EquilateralTriangle", PathCurve=32, HollowShape="Square", ProfileHollow=15000,
          PathScaleY=190, PathTwist=100, PathTwistBegin=-100)),
    ("", (0, 0, 2), (0, 0, 0, 1), (0.25, 0.25, 0.25), {}),
]


def every_type_group(position=(60.0, 70.0, 25.0), turn=30.0):
    """A linkset of the parts above, its root turned about Z, as one SceneObjectGroup text in the
    layout of the server's own saves (the other parts straight under OtherParts)."""
    ids = [str(uuid.uuid4()) for _ in EVERY_TYPE]
    parts = [_part(ids[i], name, position, offset, rotation, scale, shape, i + 1)
             for i, (name, offset, rotation, scale, shape) in enumerate(EVERY_TYPE)]
    parts[0] = parts[0].replace(_vector("RotationOffset", (0, 0, 0, 1)), _vector("RotationOffset", z_turn(turn)), 1)
    return "<SceneObjectGroup>" + parts[0] + "<OtherParts>" + "".join(parts[1:]) + "</OtherParts></SceneObjectGroup>"


def work_folder():
    return tempfile.mkdtemp(prefix="vantor-lsl-")
