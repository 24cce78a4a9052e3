// Vantor notecard printer (OpenSim, needs osMakeNotecard)
//
// Writes the build it stands in as a prim listing into a notecard named after the build ("House
// listing" for a build called "House"), in the root prim's inventory. The lines read as a
// viewer's chat log shows them, so the notecard's text goes into Vantor as it is.
//
// Use: drop this script into the root prim of the build; it writes the notecard at once, and
// again whenever the owner touches the build. An earlier notecard of that name is replaced.
// The script's owner needs the right to call osMakeNotecard (by default the estate owner and
// managers). Names holding ": " are written with ":" alone, empty names as "Object". Sculpted
// and mesh prims are written as boxes named "S*" and their name. Generated from
// lsl/printer.lsl.in: edit that file, not this one.

// A number as the listing writes it: LSL's six decimals without the trailing zeros.
string number(float value)
{
    string text = (string)value;
    if (llSubStringIndex(text, ".") == -1) return text;
    integer last = llStringLength(text) - 1;
    while (llGetSubString(text, last, last) == "0") --last;
    if (llGetSubString(text, last, last) == ".") --last;
    return llGetSubString(text, 0, last);
}

string vectorText(vector v)
{
    return "<" + number(v.x) + ", " + number(v.y) + ", " + number(v.z) + ">";
}

string rotationText(rotation r)
{
    return "<" + number(r.x) + ", " + number(r.y) + ", " + number(r.z) + ", " + number(r.s) + ">";
}

// One shape value of PRIM_TYPE's list as the listing writes it.
string valueText(list values, integer index)
{
    integer type = llGetListEntryType(values, index);
    if (type == TYPE_FLOAT) return number(llList2Float(values, index));
    if (type == TYPE_VECTOR) return vectorText(llList2Vector(values, index));
    return llList2String(values, index);
}

// A prim name as the converter will read it back: no blanks around it, no ": " (the
// converter's name separator) inside it, never empty (viewers drop an empty speaker name), and
// at most 63 characters, the longest name a prim holds.
string listingName(string name)
{
    name = llStringTrim(name, STRING_TRIM);
    integer at = llSubStringIndex(name, ": ");
    while (at != -1) {
        name = llDeleteSubString(name, at + 1, at + 1);
        at = llSubStringIndex(name, ": ");
    }
    if (name == "") name = "Object";
    return llGetSubString(name, 0, 62);
}

// The record of the prim with link number link: its name and its two lines as one message
// (line A, a line break, line B). rootName is the root prim's own name, which the chat printer
// has replaced while it speaks.
list primRecord(integer link, string rootName)
{
    integer target = link;
    if (link == 1) target = LINK_THIS;  // the root, which holds this script; also when unlinked
    list params = llGetLinkPrimitiveParams(target, [PRIM_NAME, PRIM_POSITION, PRIM_ROTATION, PRIM_SIZE, PRIM_TYPE]);
    string name = llList2String(params, 0);
    if (link == 1) name = rootName;
    list shape = llList2List(params, 4, -1);
    if (llList2Integer(shape, 0) > PRIM_TYPE_RING) {
        // Sculpted and mesh prims have no shape values the listing can carry: a plain box.
        shape = [PRIM_TYPE_BOX, PRIM_HOLE_DEFAULT, <0.0, 1.0, 0.0>, 0.0, ZERO_VECTOR, <1.0, 1.0, 0.0>, ZERO_VECTOR];
        name = "S*" + name;
    }
    string lineA = (string)link + ", " + vectorText(llList2Vector(params, 1)) + ", "
        + rotationText(llList2Rot(params, 2)) + ", " + vectorText(llList2Vector(params, 3)) + ", ";
    string lineB = "";
    integer count = llGetListLength(shape);
    integer i;
    for (i = 0; i < count; ++i) lineB += valueText(shape, i) + ", ";
    return [listingName(name), lineA + "\n" + lineB + "0"];
}

// The chat log's time stamp: the hour without a leading zero and the minute with two digits.
string timeStamp()
{
    integer seconds = (integer)llGetWallclock();
    string minute = (string)(100 + seconds % 3600 / 60);
    return "[" + (string)(seconds / 3600) + ":" + llGetSubString(minute, 1, 2) + "]  ";
}

printBuild()
{
    if (llGetLinkNumber() > 1) {
        llOwnerSay("Put this script into the root prim of the build.");
        return;
    }
    string ownName = llGetObjectName();
    string speaker = listingName(ownName);
    integer prims = llGetObjectPrimCount(llGetKey());
    list output = [];
    string stamp = timeStamp();
    output += stamp + speaker + ": " + vectorText(llGetRootPosition());
    integer link;
    for (link = 1; link <= prims; ++link) {
        list record = primRecord(link, ownName);
        output += llParseStringKeepNulls(stamp + llList2String(record, 0) + ": " + llList2String(record, 1), ["\n"], []);
    }
    string notecard = ownName + " listing";
    if (llGetInventoryType(notecard) != INVENTORY_NONE) llRemoveInventory(notecard);
    osMakeNotecard(notecard, output);
    llOwnerSay("Wrote the notecard \"" + notecard + "\": " + (string)prims + " prims.");
}

default
{
    state_entry()
    {
        printBuild();
    }

    touch_start(integer touches)
    {
        if (llDetectedKey(0) == llGetOwner()) printBuild();
    }
}
