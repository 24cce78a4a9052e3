#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The layout of an object document as the converter writes it: one line holding one
// SceneObjectGroup element, whose texts between a ">" and the next "<" (its values) come in a
// fixed order. The converter writes this order, the extractor reads a converter's documents by
// these value indexes, and the names below are how it reads an OpenSim document by element
// name. Everything here derives from the one table kDocumentValues.
namespace vantor::scene {

// The element of each value of the converter's document, by value index: its path below
// SceneObjectPart, elements joined by "/". Empty elements (Description, Color, Text, SitName,
// TouchName, TaskInventory, OtherParts) hold no value and are not listed.
inline constexpr std::array<std::string_view, 79> kDocumentValues = {
    "LastOwnerID/UUID", "OwnerID/UUID", "GroupID/UUID", "OwnershipCost", "ObjectSaleType", "SalePrice", "Category",
    "CreationDate", "ParentID", "BaseMask", "OwnerMask", "GroupMask", "EveryoneMask", "NextOwnerMask", "Flags",
    "CreatorID/UUID", "ObjectFlags", "UUID/UUID", "LocalID", "Name", "Material", "RegionHandle",
    "GroupPosition/X", "GroupPosition/Y", "GroupPosition/Z",
    "OffsetPosition/X", "OffsetPosition/Y", "OffsetPosition/Z",
    "RotationOffset/X", "RotationOffset/Y", "RotationOffset/Z", "RotationOffset/W",
    "Velocity/X", "Velocity/Y", "Velocity/Z",
    "RotationalVelocity/X", "RotationalVelocity/Y", "RotationalVelocity/Z",
    "AngularVelocity/X", "AngularVelocity/Y", "AngularVelocity/Z",
    "Acceleration/X", "Acceleration/Y", "Acceleration/Z",
    "LinkNum", "ClickAction",
    "Shape/ExtraParams", "Shape/PathBegin", "Shape/PathCurve", "Shape/PathEnd", "Shape/PathRadiusOffset",
    "Shape/PathRevolutions", "Shape/PathScaleX", "Shape/PathScaleY", "Shape/PathShearX", "Shape/PathShearY",
    "Shape/PathSkew", "Shape/PathTaperX", "Shape/PathTaperY", "Shape/PathTwist", "Shape/PathTwistBegin",
    "Shape/PCode", "Shape/ProfileBegin", "Shape/ProfileCurve", "Shape/ProfileEnd", "Shape/ProfileHollow",
    "Shape/Scale/X", "Shape/Scale/Y", "Shape/Scale/Z", "Shape/State", "Shape/TextureEntry",
    "Shape/ProfileShape", "Shape/HollowShape",
    "Scale/X", "Scale/Y", "Scale/Z",
    "UpdateFlag", "FolderID/UUID", "InventorySerial",
};

// The value index of an element path of kDocumentValues; a path the table lacks does not compile.
consteval std::size_t valueIndex(std::string_view path)
{
    for (std::size_t i = 0; i < kDocumentValues.size(); ++i) {
        if (kDocumentValues[i] == path) return i;
    }
    throw "no value of the converter's document has this element";
}

// The values a listing record and a map marker use, by name.
namespace value {
inline constexpr std::size_t kName = valueIndex("Name");
inline constexpr std::size_t kPositionX = valueIndex("GroupPosition/X");
inline constexpr std::size_t kPositionY = valueIndex("GroupPosition/Y");
inline constexpr std::size_t kPositionZ = valueIndex("GroupPosition/Z");
inline constexpr std::size_t kOffsetX = valueIndex("OffsetPosition/X");
inline constexpr std::size_t kRotationX = valueIndex("RotationOffset/X");
inline constexpr std::size_t kRotationW = valueIndex("RotationOffset/W");
inline constexpr std::size_t kLinkNum = valueIndex("LinkNum");
inline constexpr std::size_t kExtraParams = valueIndex("Shape/ExtraParams");
inline constexpr std::size_t kPathBegin = valueIndex("Shape/PathBegin");
inline constexpr std::size_t kPathCurve = valueIndex("Shape/PathCurve");
inline constexpr std::size_t kPathEnd = valueIndex("Shape/PathEnd");
inline constexpr std::size_t kPathRadiusOffset = valueIndex("Shape/PathRadiusOffset");
inline constexpr std::size_t kPathRevolutions = valueIndex("Shape/PathRevolutions");
inline constexpr std::size_t kPathScaleX = valueIndex("Shape/PathScaleX");
inline constexpr std::size_t kPathScaleY = valueIndex("Shape/PathScaleY");
inline constexpr std::size_t kPathShearX = valueIndex("Shape/PathShearX");
inline constexpr std::size_t kPathShearY = valueIndex("Shape/PathShearY");
inline constexpr std::size_t kPathSkew = valueIndex("Shape/PathSkew");
inline constexpr std::size_t kPathTaperX = valueIndex("Shape/PathTaperX");
inline constexpr std::size_t kPathTaperY = valueIndex("Shape/PathTaperY");
inline constexpr std::size_t kPathTwist = valueIndex("Shape/PathTwist");
inline constexpr std::size_t kPathTwistBegin = valueIndex("Shape/PathTwistBegin");
inline constexpr std::size_t kProfileBegin = valueIndex("Shape/ProfileBegin");
inline constexpr std::size_t kProfileEnd = valueIndex("Shape/ProfileEnd");
inline constexpr std::size_t kProfileHollow = valueIndex("Shape/ProfileHollow");
inline constexpr std::size_t kScaleX = valueIndex("Shape/Scale/X");
inline constexpr std::size_t kScaleZ = valueIndex("Shape/Scale/Z");
inline constexpr std::size_t kProfileShape = valueIndex("Shape/ProfileShape");
inline constexpr std::size_t kHollowShape = valueIndex("Shape/HollowShape");
}  // namespace value

// A record and a marker read values 0 to kHollowShape only; the values after it never count.
inline constexpr std::size_t kUsedValueCount = value::kHollowShape + 1;
// A marker needs the values up to the position's Y: a line with fewer has no position.
inline constexpr std::size_t kPositionValueCount = value::kPositionY + 1;

// The element that holds a value's text: the last of its path ("X", "PathCurve").
[[nodiscard]] constexpr std::string_view ownElement(std::size_t index)
{
    const std::string_view path = kDocumentValues[index];
    return path.substr(path.rfind('/') + 1);
}

// The element around a value's own element ("GroupPosition" for "GroupPosition/X", "Scale" for
// "Shape/Scale/X"); empty for a value directly below SceneObjectPart.
[[nodiscard]] constexpr std::string_view outerElement(std::size_t index)
{
    std::string_view path = kDocumentValues[index];
    const std::size_t own = path.rfind('/');
    if (own == std::string_view::npos) return {};
    path = path.substr(0, own);
    return path.substr(path.rfind('/') + 1);
}

// The element a value of the Shape element stands in: its path without "Shape/" ("PathCurve",
// "Scale/X"); other values keep their path ("GroupPosition/X").
[[nodiscard]] constexpr std::string_view shortElementName(std::size_t index)
{
    if (index >= kDocumentValues.size()) return {};
    constexpr std::string_view kShape = "Shape/";
    const std::string_view path = kDocumentValues[index];
    return path.starts_with(kShape) ? path.substr(kShape.size()) : path;
}

}  // namespace vantor::scene
