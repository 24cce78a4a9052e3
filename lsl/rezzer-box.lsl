// Vantor rezzer box (Second Life and OpenSim)
//
// The helper script of the box that the Vantor rezzer builds with. Make a plain box prim, drop
// this script into it, take the box into your inventory and put it into the rezzer's contents
// (see rezzer.lsl). Rezzed by the rezzer, the box asks it for one prim of the listing, takes
// that prim's shape, size, rotation and name, moves to its place and removes this script, so
// the prim that stays behind holds no script. Rezzed by hand it does nothing.

integer channel;
integer placed;
list parts;          // the other prims of the object this prim begins, in link order
key rezzer;

// The vector of the three numbers at index in fields.
vector vectorAt(list fields, integer index)
{
    return <(float)llList2String(fields, index), (float)llList2String(fields, index + 1),
            (float)llList2String(fields, index + 2)>;
}

// Shape values reach the prim as whole steps (1/50000 of a cut or hollow, 1/100 of a twist,
// shear, size or taper, 0.015 of a revolution). OpenSim makes the steps by cutting off the
// fraction, so a cut end of 0.9 can arrive one step short; each value therefore goes 0.4 of a
// step further, in the direction the fraction is cut off, which leaves a world that rounds to
// the nearest step where it was.
float away(float value, float step)
{
    if (value > 0.0) return value + 0.4 * step;
    if (value < 0.0) return value - 0.4 * step;
    return value;
}

// A begin and end pair of a cut, dimple or profile cut, as [begin, end] of the prim's path or
// profile: the begin steps up from 0, the end down from 1.
vector cutAt(list fields, integer index)
{
    vector cut = vectorAt(fields, index);
    return <cut.x + 0.000008, cut.y - 0.000008, cut.z>;
}

// A pair of values in steps of 1/100 (twist, shear, taper).
vector hundredthsAt(list fields, integer index)
{
    vector v = vectorAt(fields, index);
    return <away(v.x, 0.01), away(v.y, 0.01), v.z>;
}

// A top size or hole size, kept as 2 less the value in steps of 1/100.
vector scaleAt(list fields, integer index)
{
    vector v = vectorAt(fields, index);
    return <v.x - 0.004, v.y - 0.004, v.z>;
}

// PRIM_TYPE's values for the shape fields of a record, from the type code on: the type's
// values in the order the listing gives them.
list shapeOf(list fields)
{
    integer type = (integer)llList2String(fields, 0);
    list shape = [type, (integer)llList2String(fields, 1), cutAt(fields, 2),
                  (float)llList2String(fields, 5) + 0.000008, hundredthsAt(fields, 6)];
    if (type == PRIM_TYPE_SPHERE) return shape + [cutAt(fields, 9)];
    shape += [scaleAt(fields, 9), hundredthsAt(fields, 12)];
    if (type <= PRIM_TYPE_PRISM) return shape;
    return shape + [cutAt(fields, 15), hundredthsAt(fields, 18), (float)llList2String(fields, 21) + 0.006,
                    away((float)llList2String(fields, 22), 0.01), away((float)llList2String(fields, 23), 0.01)];
}

// Links the object's other prims to this one, the last first, so that they keep their order
// (each linked prim takes link number 2); tells the rezzer whether it could, and leaves.
linkParts()
{
    integer count = llGetListLength(parts);
    string outcome = "linked";
    integer i;
    for (i = count - 1; i >= 0; --i) {
        llCreateLink(llList2Key(parts, i), TRUE);
        // Without the owner's permission a world may still allow linking (OpenSim's
        // AutomaticLinkPermission); when the first link did not happen, none will.
        if (i == count - 1 && llGetNumberOfPrims() < 2) {
            outcome = "unlinked";
            i = -1;
        }
    }
    llRegionSayTo(rezzer, channel, outcome);
    llRemoveInventory(llGetScriptName());
}

default
{
    on_rez(integer parameter)
    {
        if (parameter == 0) return;
        channel = parameter;
        llListen(channel, "", NULL_KEY, "");
        llRegionSay(channel, "ready");
        // A rezzer that never answers (stopped, or gone) leaves no box behind.
        llSetTimerEvent(60.0);
    }

    listen(integer heard, string name, key id, string message)
    {
        if (llGetOwnerKey(id) != llGetOwner()) return;
        if (message == "stop") {
            if (placed) llRemoveInventory(llGetScriptName());
            else llDie();
            return;
        }
        if (llGetSubString(message, 0, 5) == "parts ") {
            parts += llParseString2List(llGetSubString(message, 6, -1), ["|"], []);
            return;
        }
        if (message == "link") {
            llSetTimerEvent(0.0);
            rezzer = id;
            llRequestPermissions(llGetOwner(), PERMISSION_CHANGE_LINKS);
            return;
        }
        // "place" (or "first": this prim begins an object the rezzer links), the prim's name
        // and its target position, rotation, size and shape fields separated by "|", on three
        // lines.
        list lines = llParseStringKeepNulls(message, ["\n"], []);
        if (placed || llGetListLength(lines) != 3) return;
        llSetTimerEvent(0.0);
        list fields = llParseStringKeepNulls(llList2String(lines, 2), ["|"], []);
        vector target = vectorAt(fields, 0);
        rotation turn = <(float)llList2String(fields, 3), (float)llList2String(fields, 4),
                         (float)llList2String(fields, 5), (float)llList2String(fields, 6)>;
        llSetPrimitiveParams([PRIM_TYPE] + shapeOf(llList2List(fields, 10, -1))
            + [PRIM_SIZE, vectorAt(fields, 7), PRIM_ROTATION, turn]);
        llSetObjectName(llList2String(lines, 1));
        if (!llSetRegionPos(target)) {
            llRegionSayTo(id, channel, "refused");
            llDie();
            return;
        }
        // llSetRegionPos places within 0.1 m; the last step is exact.
        llSetPrimitiveParams([PRIM_POSITION, target]);
        placed = TRUE;
        llRegionSayTo(id, channel, "placed");
        if (llList2String(lines, 0) == "first") {
            // The rezzer's word to link comes after the last prim; an hour covers large builds.
            llSetTimerEvent(3600.0);
        } else {
            llRemoveInventory(llGetScriptName());
        }
    }

    run_time_permissions(integer granted)
    {
        linkParts();
    }

    timer()
    {
        if (placed) llRemoveInventory(llGetScriptName());
        else llDie();
    }
}
