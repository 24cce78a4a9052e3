#pragma once

#include <string>

namespace vantor::test {

// The element texts of one object document, with the defaults of a plain half-metre box
// named Primitive at <128, 64.5, 22>. Tests change what they look at.
struct ObjectSpec {
    std::string name = "Primitive";
    std::string x = "128", y = "64.5", z = "22";
    std::string rotX = "0", rotY = "0", rotZ = "0", rotW = "1";
    std::string sizeX = "0.5", sizeY = "0.5", sizeZ = "0.5";
    std::string extraParams = "AA==";
    std::string pathBegin = "0", pathCurve = "16", pathEnd = "0";
    std::string radiusOffset = "0", revolutions = "0";
    std::string scaleX = "100", scaleY = "100", shearX = "0", shearY = "0";
    std::string skew = "0", taperX = "0", taperY = "0";
    std::string twist = "0", twistBegin = "0";
    std::string profileBegin = "0", profileCurve = "1", profileEnd = "0", hollow = "0";
    std::string profileShape = "Square", hollowShape = "Same";
};

// One object document on one line, laid out element for element as the converter writes it.
inline std::string objectLine(const ObjectSpec& s)
{
    const std::string owner = "11111111-2222-3333-4444-555555555555";
    std::string line;
    line += "<SceneObjectGroup><SceneObjectPart xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
            "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><LastOwnerID><UUID>";
    line += owner + "</UUID></LastOwnerID><OwnerID><UUID>" + owner;
    line += "</UUID></OwnerID><GroupID><UUID>00000000-0000-0000-0000-000000000000</UUID></GroupID>"
            "<OwnershipCost>0</OwnershipCost><ObjectSaleType>0</ObjectSaleType><SalePrice>0</SalePrice>"
            "<Category>0</Category><CreationDate>1206461858</CreationDate><ParentID>0</ParentID>"
            "<BaseMask>2147483647</BaseMask><OwnerMask>2147483647</OwnerMask><GroupMask>0</GroupMask>"
            "<EveryoneMask>0</EveryoneMask><NextOwnerMask>2147483647</NextOwnerMask>"
            "<Flags>Touch AllowInventoryDrop</Flags><CreatorID><UUID>";
    line += owner + "</UUID></CreatorID><ObjectFlags>65664</ObjectFlags><UUID><UUID>"
            "0123abcd-0123-4567-89ab-0123456789ab</UUID></UUID><LocalID>1001</LocalID><Name>";
    line += s.name + "</Name><Material>0</Material>";
    line += "<RegionHandle>1099511628032000</RegionHandle><GroupPosition><X>" + s.x + "</X><Y>" + s.y
        + "</Y><Z>" + s.z;
    line += "</Z></GroupPosition><OffsetPosition><X>0</X><Y>0</Y><Z>0</Z></OffsetPosition><RotationOffset><X>"
        + s.rotX + "</X><Y>" + s.rotY + "</Y><Z>" + s.rotZ + "</Z><W>" + s.rotW;
    line += "</W></RotationOffset><Velocity><X>0</X><Y>0</Y><Z>0</Z></Velocity><RotationalVelocity><X>0</X>"
            "<Y>0</Y><Z>0</Z></RotationalVelocity><AngularVelocity><X>0</X><Y>0</Y><Z>0</Z></AngularVelocity>"
            "<Acceleration><X>0</X><Y>0</Y><Z>0</Z></Acceleration><Description /><Color /><Text /><SitName />"
            "<TouchName /><LinkNum>0</LinkNum><ClickAction>0</ClickAction><Shape><ExtraParams>";
    line += s.extraParams + "</ExtraParams>";
    line += "<PathBegin>" + s.pathBegin + "</PathBegin><PathCurve>" + s.pathCurve + "</PathCurve><PathEnd>"
        + s.pathEnd + "</PathEnd><PathRadiusOffset>" + s.radiusOffset + "</PathRadiusOffset><PathRevolutions>"
        + s.revolutions + "</PathRevolutions>";
    line += "<PathScaleX>" + s.scaleX + "</PathScaleX><PathScaleY>" + s.scaleY + "</PathScaleY><PathShearX>"
        + s.shearX + "</PathShearX><PathShearY>" + s.shearY + "</PathShearY>";
    line += "<PathSkew>" + s.skew + "</PathSkew><PathTaperX>" + s.taperX + "</PathTaperX><PathTaperY>" + s.taperY
        + "</PathTaperY>";
    line += "<PathTwist>" + s.twist + "</PathTwist><PathTwistBegin>" + s.twistBegin
        + "</PathTwistBegin><PCode>9</PCode>";
    line += "<ProfileBegin>" + s.profileBegin + "</ProfileBegin><ProfileCurve>" + s.profileCurve
        + "</ProfileCurve><ProfileEnd>" + s.profileEnd + "</ProfileEnd>";
    line += "<ProfileHollow>" + s.hollow + "</ProfileHollow><Scale><X>" + s.sizeX + "</X><Y>" + s.sizeY
        + "</Y><Z>" + s.sizeZ + "</Z></Scale><State>0</State>";
    line += "<TextureEntry>V0jezPYpRhyaNqNaIh/iHwAAAAAAAAAAgD8AAACAPwAAAAAAAAAAAAAAAAAAAA==</TextureEntry>";
    line += "<ProfileShape>" + s.profileShape + "</ProfileShape><HollowShape>" + s.hollowShape
        + "</HollowShape></Shape>";
    line += "<Scale><X>" + s.sizeX + "</X><Y>" + s.sizeY + "</Y><Z>" + s.sizeZ + "</Z></Scale>";
    line += "<UpdateFlag>0</UpdateFlag><FolderID><UUID>489f6a9b-5e15-4c11-a126-b6662b354b1f</UUID></FolderID>"
            "<InventorySerial>0</InventorySerial><TaskInventory /></SceneObjectPart><OtherParts />"
            "</SceneObjectGroup>";
    return line;
}

// An object at a region position, everything else as the default box.
inline std::string objectAt(const std::string& x, const std::string& y, const std::string& name = "Primitive")
{
    ObjectSpec spec;
    spec.x = x;
    spec.y = y;
    spec.name = name;
    return objectLine(spec);
}

}  // namespace vantor::test
