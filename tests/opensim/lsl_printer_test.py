"""The printers in a real region. Every real sample object and a generated linkset of every prim
type go into one region twice: once with the notecard printer in the root prim, once with the
capture build of the chat printer (the chat printer with its chat written into a notecard). One
server run writes all notecards; then each listing, converted by vantor-cli with the first
line's position as the rez position, must give every prim where and as the server holds it. The
chat a capture holds is also turned into the forms viewers copy (chat window, chat log file)
and converted the same way."""
import glob
import os
import re
import sys
import urllib.parse
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from lsl_support import (CLI, LSL_BUILT, SAMPLES, SOURCE, compare_prim, compile_check, convert,
                         every_type_group, expected_listing_name, fail, finish, fresh_ids, header_position,
                         item_xml, oar_objects, require_environment, root_notecards, run_console, scene_groups,
                         server_object, with_inventory, work_folder, write_oar)

require_environment()
work = work_folder()
notecard_printer = os.path.join(SOURCE, "lsl", "notecard-printer.lsl")
capture_printer = os.path.join(LSL_BUILT, "printer-capture.lsl")
compile_check([os.path.join(SOURCE, "lsl", n) for n in ("chat-printer.lsl", "notecard-printer.lsl", "rezzer.lsl",
                                                         "rezzer-box.lsl")] + [capture_printer])

# The distinct objects of the real samples (by their first part's identifier), and the generated build.
objects, seen = [], set()
for path in sorted(glob.glob(os.path.join(SAMPLES, "*.xml"))):
    for group in scene_groups(path):
        first = re.search(r"<UUID>\s*<(?:UUID|Guid)>([0-9a-fA-F-]{36})</", group).group(1)
        if first not in seen:
            seen.add(first)
            objects.append(group)
objects.append(every_type_group())
print("%d objects" % len(objects))

scripts = {"notecard": (str(uuid.uuid4()), notecard_printer), "capture": (str(uuid.uuid4()), capture_printer)}
placed = []
for kind, (asset, _) in scripts.items():
    for group in objects:
        placed.append(with_inventory(fresh_ids(group), lambda part, a=asset, k=kind: item_xml(k + " printer", "script", a, part)))
assets = [(asset, "script.lsl", open(path, "rb").read()) for asset, path in scripts.values()]
write_oar(os.path.join(work, "in.oar"), placed, assets)

expected = len(placed)
transcript = run_console([
    "load oar %s/in.oar" % work,
    # Each round's output must hold that many notecard lines; the atomic group keeps the search
    # linear when it does not.
    "#until 180 2 (?ms)\\A(?>.*?^[ \\t]+[^\\n]*? (?:listing|chat)[ \\t]+Notecard\\b){%d} !! \\[SCRIPT ERROR\\] "
    ":: show part name --regex .*" % expected,
    "save oar %s/after.oar" % work,
], work, [os.path.basename(path) for _, path in scripts.values()])
if not os.path.exists(os.path.join(work, "after.oar")):
    finish("lsl_printer")

held_objects, notecards = oar_objects(os.path.join(work, "after.oar"))
counted = {"listing": 0, "chat": 0}
for number, group in enumerate(held_objects):
    held = server_object(group)
    title = held[0]["name"]
    cards = root_notecards(group, notecards)
    for card, text in cards.items():
        if card == title + " listing":
            counted["listing"] += 1
            rez = header_position(text)
            made = convert(text.replace("\n", "\r\n"), work, "notecard%d" % number, rez)
            if len(made) != len(held):
                fail("%r: the notecard listing gives %d prims, the server holds %d" % (title, len(made), len(held)))
                continue
            for index, (h, m) in enumerate(zip(held, made)):
                compare_prim("%r notecard, link %d" % (title, index + 1), h, m, expected_listing_name(h))
        elif card == title + " chat":
            # The capture was named after the object's name once the printer had put it back.
            counted["chat"] += 1
            messages = [[urllib.parse.unquote(part) for part in line.split(" ", 1)] for line in text.splitlines()]
            for speaker, message in messages:
                if len(message.encode("utf-8")) > 1023:
                    fail("%r: a chat message of %d bytes (the limit is 1,023)" % (title, len(message.encode("utf-8"))))
            speakers = [m[0] for m in messages[1:]]
            if speakers != [expected_listing_name(h) for h in held]:
                fail("%r: said under the names %r" % (title, speakers))
            forms = {
                "chat window": "".join("[09:06] %s: %s\r\n" % (s, m.replace("\n", "\r\n")) for s, m in messages),
                "chat log": "".join("[2026/12/06 09:06]  %s: %s\r\n" % (s, m.replace("\n", "\r\n "))
                                    for s, m in messages),
            }
            rez = header_position(messages[0][1])
            for form, listing in forms.items():
                made = convert(listing, work, "chat%d%s" % (number, form[5:]), rez)
                if len(made) != len(held):
                    fail("%r, %s: %d prims, the server holds %d" % (title, form, len(made), len(held)))
                    continue
                for index, (h, m) in enumerate(zip(held, made)):
                    compare_prim("%r %s, link %d" % (title, form, index + 1), h, m, expected_listing_name(h))
        elif card.endswith(" chat") or card.endswith(" listing"):
            fail("%r holds a notecard named %r" % (title, card))
for kind, count in counted.items():
    if count != len(objects):
        fail("%d of %d objects have their %s notecard" % (count, len(objects), kind))
print("compared %d objects, %d notecards" % (len(held_objects), sum(counted.values())))
finish("lsl_printer")
