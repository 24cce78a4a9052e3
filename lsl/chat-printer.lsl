// Vantor chat printer (Second Life and OpenSim)
//
// Prints the build it stands in as a prim listing into your chat, for Vantor's "Générer XML"
// or `vantor-cli convert`.
//
// Use: drop this script into the root prim of the build (edit the build, "Edit linked" off,
// Content tab), then touch the build. The first line, said under the build's name, holds the
// root prim's region position; then comes one two-line record per prim in link order, each
// said under that prim's name. Copy the chat from that first line to the last record (or take
// it from your chat log file) and paste it into Vantor. Only the owner's touch counts.
//
// While it prints, the build carries each prim's name in turn (that is how the name reaches
// the chat); its own name comes back at the end. Names holding ": " are printed with ":" alone,
// empty names as "Object". Sculpted and mesh prims are printed as boxes named "S*" and their
// name. Generated from lsl/printer.lsl.in: edit that file, not this one.

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

printBuild()
{
    if (llGetLinkNumber() > 1) {
        llOwnerSay("Put this script into the root prim of the build.");
        return;
    }
    string ownName = llGetObjectName();
    string speaker = listingName(ownName);
    integer prims = llGetObjectPrimCount(llGetKey());
    llSetObjectName(speaker);
    llOwnerSay(vectorText(llGetRootPosition()));
    integer link;
    for (link = 1; link <= prims; ++link) {
        list record = primRecord(link, ownName);
        llSetObjectName(llList2String(record, 0));
        llOwnerSay(llList2String(record, 1));
        // A steady pace keeps the messages under the chat throttles of the region and viewers.
        llSleep(0.25);
    }
    llSetObjectName(ownName);
}

default
{
    touch_start(integer touches)
    {
        if (llDetectedKey(0) == llGetOwner()) printBuild();
    }
}
