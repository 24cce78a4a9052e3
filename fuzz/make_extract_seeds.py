#!/usr/bin/env python3
"""Writes the seeds of the region extractor's fuzz targets into fuzz/corpus/ from an object of
the converter's golden scene file (tests/convert/data/house.xml): scene files of a few objects
in both layouts, a Windows-1252 file, a cut-off object, and small OpenSim archives
(gzip-compressed and plain tar).
(fuzz/run.sh adds tests/extract/data/malformed_lines.txt for scene_load.)
Run from anywhere: fuzz/make_extract_seeds.py"""
import gzip
import io
import pathlib
import re
import tarfile

root = pathlib.Path(__file__).resolve().parent.parent
corpus = root / "fuzz" / "corpus"
# An object as the converter writes it: the first of its golden scene file.
converted = (root / "tests" / "convert" / "data" / "house.xml").read_bytes().decode().split("\r\n")[2]

# A plain half-metre box named Primitive at <128, 64.5, 22>: element texts by their path
# below SceneObjectPart.
BOX = {"Name": "Primitive", "GroupPosition/X": "128", "GroupPosition/Y": "64.5", "GroupPosition/Z": "22",
       "RotationOffset/X": "0", "RotationOffset/Y": "0", "RotationOffset/Z": "0", "RotationOffset/W": "1",
       "Shape/ExtraParams": "AA==", "Shape/PathCurve": "16", "Shape/PathScaleX": "100", "Shape/PathScaleY": "100",
       "Shape/ProfileCurve": "1", "Shape/ProfileShape": "Square", "Shape/HollowShape": "Same",
       "Shape/Scale/X": "0.5", "Shape/Scale/Y": "0.5", "Shape/Scale/Z": "0.5",
       "Scale/X": "0.5", "Scale/Y": "0.5", "Scale/Z": "0.5"}
for element in ("PathBegin", "PathEnd", "PathRadiusOffset", "PathRevolutions", "PathShearX", "PathShearY", "PathSkew",
                "PathTaperX", "PathTaperY", "PathTwist", "PathTwistBegin", "ProfileBegin", "ProfileEnd",
                "ProfileHollow"):
    BOX["Shape/" + element] = "0"
NAMES = {"name": "Name", "x": "GroupPosition/X", "z": "GroupPosition/Z", "pathCurve": "Shape/PathCurve",
         "profileShape": "Shape/ProfileShape", "hollowShape": "Shape/HollowShape", "hollow": "Shape/ProfileHollow",
         "revolutions": "Shape/PathRevolutions"}


def obj(**fields):
    values = dict(BOX, **{NAMES[key]: value for key, value in fields.items()})
    out, path = [], []
    for piece in re.split(r"(<[^>]*>)", converted):
        if piece.startswith("</"):
            path.pop()
        elif piece.startswith("<") and not piece.endswith("/>"):
            path.append(piece[1:-1].split()[0])
        elif piece and "/".join(path[2:]) in values:
            piece = values["/".join(path[2:])]
        out.append(piece)
    return "".join(out)


def opensim_object(name, x, y):
    """One object as OpenSim's serializer lays it out: values not where a converter has them."""
    part = ("<SceneObjectPart><CreatorID><UUID>6a1b2c3d-0000-4000-8000-000000100007</UUID></CreatorID>"
            "<Name>{}</Name><GroupPosition><X>{}</X><Y>{}</Y><Z>25</Z></GroupPosition>"
            "<OffsetPosition><X>0</X><Y>0</Y><Z>0</Z></OffsetPosition>"
            "<RotationOffset><X>0</X><Y>0</Y><Z>0</Z><W>1</W></RotationOffset><LinkNum>{}</LinkNum><Shape>"
            "<ExtraParams>AA==</ExtraParams><PathBegin>0</PathBegin><PathCurve>32</PathCurve><PathEnd>0</PathEnd>"
            "<PathRadiusOffset>0</PathRadiusOffset><PathRevolutions>0</PathRevolutions><PathScaleX>100</PathScaleX>"
            "<PathScaleY>25</PathScaleY><PathShearX>0</PathShearX><PathShearY>0</PathShearY><PathSkew>0</PathSkew>"
            "<PathTaperX>0</PathTaperX><PathTaperY>0</PathTaperY><PathTwist>0</PathTwist>"
            "<PathTwistBegin>0</PathTwistBegin><ProfileBegin>0</ProfileBegin><ProfileEnd>0</ProfileEnd>"
            "<ProfileHollow>0</ProfileHollow><ProfileShape>Circle</ProfileShape><HollowShape>Same</HollowShape>"
            "</Shape><Scale><X>0.5</X><Y>0.5</Y><Z>0.5</Z></Scale></SceneObjectPart>")
    child = part.format(name + " child", x, y, 2).replace("<X>0</X><Y>0</Y><Z>0</Z></Offset",
                                                          "<X>1</X><Y>0</Y><Z>0</Z></Offset")
    return ("<SceneObjectGroup>" + part.format(name, x, y, 1) + "<OtherParts>" + child
            + "</OtherParts></SceneObjectGroup>")


def scene(objects, end="\r\n"):
    return "<scene>" + end + end + "".join(o + end for o in objects) + end + "</scene>" + end


def write(target, name, content):
    folder = corpus / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(content if isinstance(content, bytes) else content.encode())


three = [obj(), obj(name="Ring &amp; hook", pathCurve="32", profileShape="EquilateralTriangle",
                    hollowShape="Circle", hollow="25000", revolutions="66"),
         obj(name="Ball", x="131.25", z="23.5", pathCurve="32", profileShape="HalfCircle")]
document = "<?xml version=\"1.0\"?>\n<scene>\n" + "".join(
    o.replace("><", ">\n  <", 3) + "\n" for o in [opensim_object("Linked", "100", "200"), three[0]]) + "</scene>\n"
for target in ("scene_load", "listing_export"):
    write(target, "three_objects.xml", scene(three))
    write(target, "lf_line_ends.xml", scene(three[:2], "\n"))
    write(target, "opensim_document.xml", document)
    write(target, "windows_1252.xml", scene([obj(name="Caf\u00e9 \u00e0 la carte")]).encode("cp1252"))
    write(target, "cut_off.xml", scene([obj(), obj()[:-40], obj(name="after")]))
    write(target, "unknown_first_type.xml", scene([obj(pathCurve="48", hollowShape="None"), obj()]))


def archive(entries, compressed):
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.USTAR_FORMAT) as tar:
        for path, content in entries:
            info = tarfile.TarInfo(path)
            body = content.encode() if isinstance(content, str) else content
            info.size = len(body)
            info.mtime = 0
            tar.addfile(info, io.BytesIO(body))
    return gzip.compress(raw.getvalue(), mtime=0) if compressed else raw.getvalue()


control = '<?xml version="1.0"?><archive major_version="0" minor_version="8"><creation_info /></archive>'
objects = [("objects/Linked_100-200-25__6a1b2c3d.xml", opensim_object("Linked", "100", "200")),
           ("objects/Primitive_128-64-22__11111111.xml", "\ufeff" + three[0] + "\r\n"),
           ("terrains/region.r32", b"\0" * 64)]
write("oar_reader", "region.oar", archive([("archive.xml", control)] + objects, True))
write("oar_reader", "region.tar", archive([("archive.xml", control)] + objects, False))
write("oar_reader", "cut_off.tar", archive([("archive.xml", control), ("objects/a_cut.xml", three[0][:-30]),
                                            ("objects/b.xml", three[2])], False))
write("oar_reader", "no_control_file.tar", archive(objects[:1], False))
