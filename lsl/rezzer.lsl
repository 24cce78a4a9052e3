// Vantor rezzer (Second Life and OpenSim; needs no console and no OSSL)
//
// Builds a prim listing (Vantor's extractor export, or a printer's listing) again from prims.
// The rezzer is one prim holding three things: this script, a notecard into which you paste
// the listing, and a plain box prim holding the script rezzer-box.lsl. Touch the rezzer (its
// owner only): it reads the notecard and, for each record, rezzes the box, which takes the
// record's shape, size, rotation and name and moves to the record's position less the listing's
// first-line position plus the rezzer's own position. So the build stands around the rezzer as
// it stood around the place the listing's first line names. Touch it again to stop.
//
// A first line reading "link" above the listing asks for the prims to be linked afterwards: a
// record whose first number is 1 begins an object and the records after it are its parts (a
// listing without such numbers gives one object). After the last prim, the first prim of each
// object links the others to itself, in listing order; it asks you for the permission to change
// links (one question per object), and prims too far apart for the world's link rules stay
// unlinked.
//
// Progress comes to you in chat every 10 prims and at the end, and stands above the rezzer
// and in its description. A record that cannot be read, or whose place lies outside the region,
// is reported with its notecard line number and skipped. Limits: one prim at a time (a box
// rezzes only within 10 m, so each box moves itself to its place); the parcel's prim limit
// stops the building with a message; notecard lines longer than the world's limit (255 bytes
// in Second Life) arrive cut off and their record is skipped.
//
// A rezzer whose description reads "build on start" builds as soon as this script starts (for
// instance when it arrives with a region archive), without waiting for a touch; the description
// then shows the progress instead.

integer building;
integer stopping;
integer linking;
string notecard;
string box;
integer lineNumber;       // the notecard line read next, counted from 0
key request;
integer haveOrigin;
vector origin;            // the position the listing's first line names
string lineA;             // a record's first line, while its second is read
integer recordLine;       // the notecard line of lineA, counted from 1
integer channel;
integer listener;
string pending;           // what the box waiting for its prim is told
integer rezzed;
integer skipped;
string skippedLines;
list objectKeys;          // the rezzed prims, in listing order
list beginsObject;        // for each, whether it begins an object
integer linkAsked;        // the notecard asked for linking
integer linkFrom;
integer linkRefused;

status(string text)
{
    llSetText(text, <1.0, 1.0, 1.0>, 1.0);
    llSetObjectDesc(llGetSubString(text, 0, 126));
}

say(string text)
{
    llOwnerSay(text);
}

readNext()
{
    request = llGetNotecardLine(notecard, lineNumber);
}

skip(integer line, string why)
{
    say("Line " + (string)line + ": " + why + "; skipped.");
    ++skipped;
    if (skippedLines != "") skippedLines += ", ";
    skippedLines += (string)line;
}

// Whether text is a number as listings write them: an optional "-", digits with at most one
// ".", and an optional exponent ("2E-05").
integer isNumber(string text)
{
    integer length = llStringLength(text);
    integer i = 0;
    integer digits = 0;
    integer point = FALSE;
    if (llGetSubString(text, 0, 0) == "-") i = 1;
    for (; i < length; ++i) {
        string c = llGetSubString(text, i, i);
        if (c == ".") {
            if (point) return FALSE;
            point = TRUE;
        } else if (c == "E" || c == "e") {
            if (digits == 0 || i + 1 >= length) return FALSE;
            string rest = llGetSubString(text, i + 1, -1);
            if (llGetSubString(rest, 0, 0) == "-" || llGetSubString(rest, 0, 0) == "+") rest = llDeleteSubString(rest, 0, 0);
            if (rest == "") return FALSE;
            return isNumber(rest) && llSubStringIndex(rest, ".") == -1 && llSubStringIndex(rest, "-") == -1;
        } else if (llSubStringIndex("0123456789", c) == -1) {
            return FALSE;
        } else {
            ++digits;
        }
    }
    return digits > 0;
}

// Whether text (what stands between "[" and "]" at the start of a line) is a chat time stamp:
// a time, perhaps after a date ("9:05", "2024/05/12 09:05:33").
integer isTimeStamp(string text)
{
    integer length = llStringLength(text);
    integer digit = FALSE;
    integer i;
    for (i = 0; i < length; ++i) {
        string c = llGetSubString(text, i, i);
        if (llSubStringIndex("0123456789", c) != -1) digit = TRUE;
        else if (llSubStringIndex(":/-. APMapm", c) == -1) return FALSE;
    }
    return digit && llSubStringIndex(text, ":") != -1;
}

// The record of two listing lines as [name, field 0, field 1, ...], read as Vantor's converter
// reads it: the name after the chat time stamp and its one or two blanks, up to the first
// ": "; the fields after it, without blanks, "<" and ">", separated by ","; the text after the
// last "," is no field. An empty list when there is no ": ".
list readRecord(string first, string second)
{
    integer colon = llSubStringIndex(first, ": ");
    if (colon == -1) return [];
    integer start = 0;
    if (llGetSubString(first, 0, 0) == "[") {
        integer close = llSubStringIndex(first, "]");
        if (close > 1 && close < colon && isTimeStamp(llGetSubString(first, 1, close - 1))) {
            start = close + 1;
            if (start < colon && llGetSubString(first, start, start) == " ") ++start;
            if (start < colon && llGetSubString(first, start, start) == " ") ++start;
        }
    }
    string name = "";
    if (start < colon) name = llGetSubString(first, start, colon - 1);
    string data = llGetSubString(first + second, colon + 2, -1);
    data = llDumpList2String(llParseStringKeepNulls(data, [" ", "<", ">"], []), "");
    list fields = llParseStringKeepNulls(data, [","], []);
    return [name] + llDeleteSubList(fields, -1, -1);
}

// The listing's first line: its rezzer position, the "<x, y, z>" it holds.
integer readOrigin(string line)
{
    integer open = llSubStringIndex(line, "<");
    if (open == -1) return FALSE;
    string rest = llGetSubString(line, open + 1, -1);
    integer close = llSubStringIndex(rest, ">");
    if (close < 1) return FALSE;
    list parts = llParseStringKeepNulls(llGetSubString(rest, 0, close - 1), [","], []);
    if (llGetListLength(parts) != 3) return FALSE;
    integer i;
    for (i = 0; i < 3; ++i) {
        if (!isNumber(llStringTrim(llList2String(parts, i), STRING_TRIM))) return FALSE;
    }
    origin = <(float)llList2String(parts, 0), (float)llList2String(parts, 1), (float)llList2String(parts, 2)>;
    return TRUE;
}

// Rezzes the box for one record, or reports why not. Returns whether a box is on its way.
integer rezRecord(list record)
{
    integer type = (integer)llList2String(record, 12);
    integer needed = 25;                       // types 0 to 2: fields 0 to 24
    if (type == PRIM_TYPE_SPHERE) needed = 22;
    else if (type >= PRIM_TYPE_TORUS) needed = 35;
    if (llGetListLength(record) - 1 < needed) {
        skip(recordLine, "too few values for its prim type");
        return FALSE;
    }
    if (type < 0 || type > PRIM_TYPE_RING || !isNumber(llList2String(record, 12))) {
        skip(recordLine, "prim type " + llList2String(record, 12) + " is not one a prim can take");
        return FALSE;
    }
    integer i;
    for (i = 2; i <= needed; ++i) {
        if (!isNumber(llList2String(record, i))) {
            skip(recordLine, "value " + (string)(i - 1) + " is no number");
            return FALSE;
        }
    }
    vector target = <(float)llList2String(record, 2), (float)llList2String(record, 3),
                     (float)llList2String(record, 4)>;
    target += llGetPos() - origin;
    if (target.x < 0.0 || target.x >= 256.0 || target.y < 0.0 || target.y >= 256.0 || target.z < 0.0 || target.z > 4096.0) {
        skip(recordLine, llList2String(record, 0) + " would stand outside the region, at " + (string)target);
        return FALSE;
    }
    if (llGetParcelPrimCount(llGetPos(), PARCEL_COUNT_TOTAL, FALSE) >= llGetParcelMaxPrims(llGetPos(), FALSE)) {
        say("The parcel holds as many prims as it may: stopped before line " + (string)recordLine + ".");
        finish();
        return FALSE;
    }
    // A record whose first field is 1 begins an object (so does the first one).
    integer begins = llList2String(record, 1) == "1" || llGetListLength(beginsObject) == 0;
    string mode = "place";
    if (linking && begins) mode = "first";
    pending = mode + "\n" + llList2String(record, 0) + "\n" + (string)target.x + "|" + (string)target.y + "|"
        + (string)target.z + "|" + llDumpList2String(llList2List(record, 5, needed), "|");
    objectKeys += [NULL_KEY];
    beginsObject += [begins];
    llRezObject(box, llGetPos() + <0.0, 0.0, 1.0>, ZERO_VECTOR, ZERO_ROTATION, channel);
    llSetTimerEvent(30.0);
    return TRUE;
}

// Handles one notecard line.
line(string text)
{
    string trimmed = llStringTrim(text, STRING_TRIM);
    ++lineNumber;
    if (lineNumber == 1 && llToLower(trimmed) == "link") {
        linking = TRUE;
        linkAsked = TRUE;
        readNext();
        return;
    }
    if (trimmed == "") {
        readNext();
        return;
    }
    if (!haveOrigin) {
        if (!readOrigin(text)) {
            say("Line " + (string)lineNumber + " holds no rezzer position \"<x, y, z>\": is the notecard a Vantor listing?");
            finish();
            return;
        }
        haveOrigin = TRUE;
        readNext();
        return;
    }
    if (lineA == "") {
        lineA = text;
        recordLine = lineNumber;
        readNext();
        return;
    }
    list record = readRecord(lineA, text);
    lineA = "";
    if (llGetListLength(record) < 6) {
        skip(recordLine, "not a record (a name, \": \" and at least five values)");
        readNext();
        return;
    }
    if (!rezRecord(record) && building) readNext();
}

begin()
{
    notecard = llGetInventoryName(INVENTORY_NOTECARD, 0);
    box = llGetInventoryName(INVENTORY_OBJECT, 0);
    if (notecard == "" || box == "") {
        say("The rezzer needs a notecard holding the listing and the box in its contents.");
        return;
    }
    building = TRUE;
    stopping = FALSE;
    linking = FALSE;
    linkAsked = FALSE;
    linkRefused = FALSE;
    haveOrigin = FALSE;
    lineA = "";
    lineNumber = 0;
    rezzed = 0;
    skipped = 0;
    skippedLines = "";
    objectKeys = [];
    beginsObject = [];
    channel = -1000000 - (integer)llFrand(1000000000.0);
    listener = llListen(channel, "", NULL_KEY, "");
    status("Building from \"" + notecard + "\"...");
    say("Building from \"" + notecard + "\"; touch again to stop.");
    readNext();
}

// The linking, after the last prim: the first prim of each object (which kept its script) is
// told the object's other prims, links them to itself and answers. linkFrom is the index in
// objectKeys of the object whose first prim was told last.
linkNext()
{
    integer count = llGetListLength(objectKeys);
    while (linkFrom < count) {
        integer last = linkFrom + 1;
        while (last < count && !llList2Integer(beginsObject, last)) ++last;
        key first = llList2Key(objectKeys, linkFrom);
        list parts = [];
        // (llList2List with its end before its start gives the rest of the list instead.)
        if (last - 1 > linkFrom) parts = llList2List(objectKeys, linkFrom + 1, last - 1);
        linkFrom = last;
        if (first != NULL_KEY) {
            // Key lists in pieces that keep each message far below the chat limit.
            integer i;
            for (i = 0; i < llGetListLength(parts); i += 20) {
                llRegionSayTo(first, channel, "parts " + llDumpList2String(llList2List(parts, i, i + 19), "|"));
            }
            llRegionSayTo(first, channel, "link");
            llSetTimerEvent(60.0 + 2.0 * llGetListLength(parts));
            return;
        }
    }
    linking = FALSE;
    report();
}

// Ends the reading (and any box still waiting); the linking follows when it was asked for.
finish()
{
    if (!building) return;
    building = FALSE;
    llSetTimerEvent(0.0);
    if (lineA != "") skip(recordLine, "the listing ends inside it");
    if (stopping || !linking || rezzed == 0) {
        linking = FALSE;
        llRegionSay(channel, "stop");
        report();
        return;
    }
    say((string)rezzed + " prims placed; linking them.");
    status("Linking " + (string)rezzed + " prims");
    linkFrom = 0;
    linkRefused = FALSE;
    linkNext();
}

report()
{
    llSetTimerEvent(0.0);
    llListenRemove(listener);
    string summary = "Done: " + (string)rezzed + " prims";
    if (stopping) summary = "Stopped: " + (string)rezzed + " prims";
    if (skipped > 0) summary += ", skipped lines " + skippedLines;
    if (linkRefused) summary += ", not linked (no permission to change links)";
    else if (linkAsked && rezzed > 0 && !stopping) summary += ", linked";
    say(summary + ".");
    status(summary);
}

default
{
    state_entry()
    {
        integer onStart = llToLower(llStringTrim(llGetObjectDesc(), STRING_TRIM)) == "build on start";
        status("");
        if (onStart) begin();
    }

    touch_start(integer touches)
    {
        if (llDetectedKey(0) != llGetOwner()) return;
        if (!building && !linking) {
            begin();
            return;
        }
        stopping = TRUE;
        if (building) finish();
        else {
            llRegionSay(channel, "stop");
            linking = FALSE;
            report();
        }
    }

    dataserver(key id, string data)
    {
        if (id != request || !building) return;
        if (data == EOF) finish();
        else line(data);
    }

    listen(integer heard, string name, key id, string message)
    {
        if (llGetOwnerKey(id) != llGetOwner()) return;
        if (linking && !building) {
            if (message == "unlinked") linkRefused = TRUE;
            if (message == "linked" || message == "unlinked") linkNext();
            return;
        }
        if (!building) return;
        if (message == "ready") {
            llRegionSayTo(id, channel, pending);
            return;
        }
        llSetTimerEvent(0.0);
        if (message == "placed") {
            objectKeys = llListReplaceList(objectKeys, [id], -1, -1);
            ++rezzed;
            if (rezzed % 10 == 0) {
                say((string)rezzed + " prims so far.");
                status("Building: " + (string)rezzed + " prims");
            }
        } else {
            objectKeys = llDeleteSubList(objectKeys, -1, -1);
            beginsObject = llDeleteSubList(beginsObject, -1, -1);
            skip(recordLine, "the world refused to move the prim to its place");
        }
        readNext();
    }

    timer()
    {
        if (building) {
            say("No box arrived for line " + (string)recordLine
                + ": may objects be rezzed here, and does the parcel have room? Stopped.");
            stopping = TRUE;
            finish();
            return;
        }
        say("An object's first prim did not answer; the linking stopped.");
        linkRefused = TRUE;
        linking = FALSE;
        llRegionSay(channel, "stop");
        report();
    }
}
