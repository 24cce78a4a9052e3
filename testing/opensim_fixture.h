#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

namespace vantor::test {

// One part of an object written in the layout of OpenSim's own serializer.
struct OpenSimPart {
    std::string name = "Part";
    std::array<std::string, 3> offset{"0", "0", "0"};
    std::array<std::string, 4> rotation{"0", "0", "0", "1"};
    std::array<std::string, 3> scale{"0.5", "0.5", "0.5"};
    std::string linkNum = "0";
    std::map<std::string, std::string> shape;  // Shape values that differ from a plain box
    std::string text;                          // hover text, written as it stands (raw line breaks too)
    int inventoryItems = 0;                    // task inventory items, each full of identifiers
    bool creatorData = false;
};

struct OpenSimObject {
    std::array<std::string, 3> position{"128", "128", "25"};
    std::vector<OpenSimPart> parts{OpenSimPart{}};
    // Written as in 2009: <Guid> identifiers, lower-case quaternion names, the size inside
    // Shape as well (there "9 9 9", which must lose against the outer one) and the older order.
    bool style2009 = false;
    // The older layout of `save xml` and inventory archives: the root part inside RootPart,
    // each other part inside a Part of OtherParts.
    bool olderLayout = false;
};

inline std::string openSimPartXml(const OpenSimObject& object, const OpenSimPart& part, int serial)
{
    const std::string id = object.style2009 ? "Guid" : "UUID";
    const auto uuid = [&id](int n) {
        std::string digits = std::to_string(100000 + n);
        return "<" + id + ">6a1b2c3d-0000-4000-8000-000000" + digits + "</" + id + ">";
    };
    const auto vector = [](const std::string& tag, const auto& values, bool lower) {
        static const char* const kUpper[] = {"X", "Y", "Z", "W"};
        static const char* const kLower[] = {"x", "y", "z", "w"};
        std::string out = "<" + tag + ">";
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::string axis = lower ? kLower[i] : kUpper[i];
            out += "<" + axis + ">" + values[i] + "</" + axis + ">";
        }
        return out + "</" + tag + ">";
    };
    std::map<std::string, std::string> shape{
        {"ProfileCurve", "1"}, {"ExtraParams", "AA=="}, {"PathBegin", "0"}, {"PathCurve", "16"}, {"PathEnd", "0"},
        {"PathRadiusOffset", "0"}, {"PathRevolutions", "0"}, {"PathScaleX", "100"}, {"PathScaleY", "100"},
        {"PathShearX", "0"}, {"PathShearY", "0"}, {"PathSkew", "0"}, {"PathTaperX", "0"}, {"PathTaperY", "0"},
        {"PathTwist", "0"}, {"PathTwistBegin", "0"}, {"PCode", "9"}, {"ProfileBegin", "0"}, {"ProfileEnd", "0"},
        {"ProfileHollow", "0"}, {"ProfileShape", "Square"}, {"HollowShape", "Same"}};
    for (const auto& [key, value] : part.shape) shape[key] = value;
    const auto element = [&shape](const std::string& name) { return "<" + name + ">" + shape[name] + "</" + name + ">"; };
    static const char* const kPathValues[] = {"PathBegin", "PathCurve", "PathEnd", "PathRadiusOffset",
                                              "PathRevolutions", "PathScaleX", "PathScaleY", "PathShearX",
                                              "PathShearY", "PathSkew", "PathTaperX", "PathTaperY", "PathTwist",
                                              "PathTwistBegin", "PCode", "ProfileBegin", "ProfileEnd", "ProfileHollow"};
    std::string inventory = "<TaskInventory>";
    for (int i = 0; i < part.inventoryItems; ++i) {
        inventory += "<TaskInventoryItem><AssetID>" + uuid(serial * 100 + i) + "</AssetID><BasePermissions>2147483647"
                     "</BasePermissions><CreationDate>1663105921</CreationDate><CreatorID>" + uuid(7)
                   + "</CreatorID><Description>item</Description><ItemID>" + uuid(serial * 100 + 50 + i)
                   + "</ItemID><Name>Script " + std::to_string(i) + "</Name><Type>10</Type><InvType>10</InvType>"
                     "</TaskInventoryItem>";
    }
    inventory += "</TaskInventory>";

    std::string xml = "<SceneObjectPart xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">";
    if (!object.style2009) xml += "<AllowedDrop>false</AllowedDrop>";
    xml += "<CreatorID>" + uuid(7) + "</CreatorID>";
    if (part.creatorData) xml += "<CreatorData>http://grid.example:8002/;Ann Builder</CreatorData>";
    xml += "<FolderID>" + uuid(serial) + "</FolderID><InventorySerial>" + std::to_string(part.inventoryItems)
         + "</InventorySerial>" + inventory;
    if (object.style2009) xml += "<ObjectFlags>0</ObjectFlags>";
    xml += "<UUID>" + uuid(serial) + "</UUID><LocalId>" + std::to_string(720000 + serial) + "</LocalId><Name>"
         + part.name + "</Name><Material>3</Material>";
    if (!object.style2009) xml += "<PassTouches>false</PassTouches><PassCollisions>false</PassCollisions>";
    xml += "<RegionHandle>1099511628032000</RegionHandle><ScriptAccessPin>0</ScriptAccessPin>";
    // Every part carries the group's position.
    xml += vector("GroupPosition", object.position, false) + vector("OffsetPosition", part.offset, false)
         + vector("RotationOffset", part.rotation, object.style2009)
         + "<Velocity><X>0</X><Y>0</Y><Z>0</Z></Velocity>";
    if (object.style2009) xml += "<RotationalVelocity><X>0</X><Y>0</Y><Z>0</Z></RotationalVelocity>";
    xml += "<AngularVelocity><X>0</X><Y>0</Y><Z>0</Z></AngularVelocity><Acceleration><X>0</X><Y>0</Y><Z>0</Z>"
           "</Acceleration><Description /><Color><R>0</R><G>0</G><B>0</B><A>255</A></Color>";
    xml += part.text.empty() ? "<Text />" : "<Text>" + part.text + "</Text>";
    xml += "<SitName /><TouchName /><LinkNum>" + part.linkNum + "</LinkNum><ClickAction>0</ClickAction><Shape>";
    if (object.style2009) {
        for (const char* name : kPathValues) xml += element(name);
        xml += "<Scale><X>9</X><Y>9</Y><Z>9</Z></Scale><State>0</State>" + element("ProfileShape")
             + element("HollowShape") + element("ProfileCurve") + "<TextureEntry>AAAA</TextureEntry>"
             + element("ExtraParams");
    } else {
        xml += element("ProfileCurve") + "<TextureEntry>AAAA</TextureEntry>" + element("ExtraParams");
        for (const char* name : kPathValues) xml += element(name);
        xml += "<State>0</State><LastAttachPoint>0</LastAttachPoint>" + element("ProfileShape")
             + element("HollowShape") + "<SculptTexture>" + uuid(0) + "</SculptTexture><SculptType>0</SculptType>"
               "<SculptEntry>false</SculptEntry>";
    }
    xml += "</Shape>" + vector("Scale", part.scale, false);
    xml += "<SitTargetOrientation><X>0</X><Y>0</Y><Z>0</Z><W>1</W></SitTargetOrientation><ParentID>0</ParentID>"
           "<CreationDate>1663105921</CreationDate><OwnerID>" + uuid(7) + "</OwnerID><LastOwnerID>" + uuid(7)
         + "</LastOwnerID><BaseMask>647168</BaseMask><Flags>None</Flags>";
    if (!object.style2009) xml += "<DynAttrs><llsd><map><key>ns</key><map /></map></llsd></DynAttrs>";
    return xml + "</SceneObjectPart>";
}

// The object as one SceneObjectGroup element.
inline std::string openSimObjectXml(const OpenSimObject& object, int serial = 1)
{
    const auto wrapped = [&object](const std::string& wrapper, const std::string& part) {
        return object.olderLayout ? "<" + wrapper + ">" + part + "</" + wrapper + ">" : part;
    };
    std::string xml = "<SceneObjectGroup>" + wrapped("RootPart", openSimPartXml(object, object.parts.front(), serial * 1000));
    if (object.parts.size() == 1) {
        xml += "<OtherParts />";
    } else {
        xml += "<OtherParts>";
        for (std::size_t i = 1; i < object.parts.size(); ++i) {
            xml += wrapped("Part", openSimPartXml(object, object.parts[i], serial * 1000 + static_cast<int>(i)));
        }
        xml += "</OtherParts>";
    }
    if (!object.style2009) xml += "<GroupScriptStates><SavedScriptState UUID=\"x\"><State>on</State></SavedScriptState></GroupScriptStates>";
    return xml + "</SceneObjectGroup>";
}

// `save xml2` up to OpenSim 0.9.0: "<scene>" and each object end in a line break that
// the server writes as prefix + "\n" (Linux: "\n", Windows: "\r\n"), the wrapper lines
// ending in "\n" first.
inline std::string legacyScene(const std::vector<std::string>& objects, const std::string& lineEnd = "\n")
{
    std::string text = "<scene>\n" + lineEnd;
    for (const auto& object : objects) text += object + lineEnd;
    return text + "</scene>\n" + lineEnd;
}

// `save xml2` from OpenSim 0.9.1 on: every object and the closing tag on line 2.
inline std::string currentScene(const std::vector<std::string>& objects)
{
    std::string text = "<scene>\n";
    for (const auto& object : objects) text += object;
    return text + "</scene>\n";
}

}  // namespace vantor::test
