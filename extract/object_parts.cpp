#include "object_parts.h"

#include "text/number_fast_paths.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace vantor::extract {

namespace {

constexpr std::size_t kValueCount = 73;  // indexes 0 to 72 of a converter's document
constexpr std::size_t kName = 19;
constexpr std::size_t kGroupPosition = 22;
constexpr std::size_t kOffsetPosition = 25;
constexpr std::size_t kRotation = 28;
constexpr std::size_t kLinkNum = 44;
constexpr std::size_t kFirstShapeValue = 46;
constexpr std::size_t kScale = 66;
constexpr std::size_t kProfileShape = 71;
constexpr std::size_t kHollowShape = 72;

// The Shape children of values 46 to 65, in index order.
constexpr std::array<std::string_view, 20> kShapeValues = {
    "ExtraParams", "PathBegin", "PathCurve", "PathEnd", "PathRadiusOffset", "PathRevolutions", "PathScaleX",
    "PathScaleY", "PathShearX", "PathShearY", "PathSkew", "PathTaperX", "PathTaperY", "PathTwist",
    "PathTwistBegin", "PCode", "ProfileBegin", "ProfileCurve", "ProfileEnd", "ProfileHollow"};

// What must stand right before a value that is read by index: its element's opening tag,
// and for the values that follow another one, the previous element's closing tag too, so
// that a run of values is known to be one element's children in a row.
struct IndexedValue {
    std::size_t index;
    std::string_view before;
};

constexpr std::array<IndexedValue, 33> kIndexedValues = {{
    {19, "<Name>"},
    {22, "<GroupPosition><X>"}, {23, "</X><Y>"}, {24, "</Y><Z>"},
    {28, "<RotationOffset><X>"}, {29, "</X><Y>"}, {30, "</Y><Z>"}, {31, "</Z><W>"},
    {46, "<Shape><ExtraParams>"}, {47, "</ExtraParams><PathBegin>"}, {48, "</PathBegin><PathCurve>"},
    {49, "</PathCurve><PathEnd>"}, {50, "</PathEnd><PathRadiusOffset>"},
    {51, "</PathRadiusOffset><PathRevolutions>"}, {52, "</PathRevolutions><PathScaleX>"},
    {53, "</PathScaleX><PathScaleY>"}, {54, "</PathScaleY><PathShearX>"}, {55, "</PathShearX><PathShearY>"},
    {56, "</PathShearY><PathSkew>"}, {57, "</PathSkew><PathTaperX>"}, {58, "</PathTaperX><PathTaperY>"},
    {59, "</PathTaperY><PathTwist>"}, {60, "</PathTwist><PathTwistBegin>"}, {61, "</PathTwistBegin><PCode>"},
    {62, "</PCode><ProfileBegin>"}, {63, "</ProfileBegin><ProfileCurve>"}, {64, "</ProfileCurve><ProfileEnd>"},
    {65, "</ProfileEnd><ProfileHollow>"},
    {66, "</ProfileHollow><Scale><X>"}, {67, "</X><Y>"}, {68, "</Y><Z>"},
    {71, "<ProfileShape>"}, {72, "</ProfileShape><HollowShape>"},
}};

// What must stand right after the last value of an element or vector, so that the value is
// the element's whole text.
constexpr std::array<IndexedValue, 5> kClosedValues = {{
    {19, "</Name>"}, {24, "</Z></GroupPosition>"}, {31, "</W></RotationOffset>"}, {68, "</Z></Scale>"},
    {72, "</HollowShape>"},
}};

// Whether the bytes right before value (a view into object) are text.
bool standsAfter(std::string_view object, std::string_view value, std::string_view text)
{
    if (value.data() < object.data() || value.data() > object.data() + object.size()) return false;
    const auto offset = static_cast<std::size_t>(value.data() - object.data());
    return offset >= text.size() && object.substr(offset - text.size(), text.size()) == text;
}

// Whether text stands right after value (a view into object).
bool standsBefore(std::string_view object, std::string_view value, std::string_view text)
{
    if (value.data() < object.data() || value.data() > object.data() + object.size()) return false;
    const auto end = static_cast<std::size_t>(value.data() - object.data()) + value.size();
    return object.substr(end, text.size()) == text;
}

// Whether the object's OtherParts element is empty, so that it has one part only.
bool hasNoOtherParts(std::string_view object)
{
    const std::size_t at = object.rfind("<OtherParts");
    if (at == std::string_view::npos) return false;
    const std::string_view rest = object.substr(at + std::string_view("<OtherParts").size());
    return rest.starts_with(" />") || rest.starts_with("/>") || rest.starts_with("></OtherParts>");
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

}  // namespace

bool readsByIndex(std::string_view object, const ValueList& values)
{
    if (values.size() < kValueCount) return false;
    for (const auto& [index, before] : kIndexedValues) {
        if (!standsAfter(object, values[index], before)) return false;
    }
    for (const auto& [index, after] : kClosedValues) {
        if (!standsBefore(object, values[index], after)) return false;
    }
    return hasNoOtherParts(object);
}

bool positionReadsByIndex(std::string_view object, const PositionValues& values)
{
    return values.valueCount > kGroupPosition + 1 && standsAfter(object, values.x, "<GroupPosition><X>")
        && standsAfter(object, values.y, "</X><Y>") && standsBefore(object, values.y, "</Y>");
}

std::string_view valueElementName(std::size_t index)
{
    static constexpr std::array<std::string_view, 4> kAxes = {"X", "Y", "Z", "W"};
    static const std::array<std::string, kValueCount> kNames = [] {
        std::array<std::string, kValueCount> names;
        names[kName] = "Name";
        for (std::size_t i = 0; i < 3; ++i) {
            names[kGroupPosition + i] = "GroupPosition/" + std::string(kAxes[i]);
            names[kOffsetPosition + i] = "OffsetPosition/" + std::string(kAxes[i]);
            names[kScale + i] = "Scale/" + std::string(kAxes[i]);
        }
        for (std::size_t i = 0; i < 4; ++i) names[kRotation + i] = "RotationOffset/" + std::string(kAxes[i]);
        names[kLinkNum] = "LinkNum";
        for (std::size_t i = 0; i < kShapeValues.size(); ++i) names[kFirstShapeValue + i] = kShapeValues[i];
        names[kProfileShape] = "ProfileShape";
        names[kHollowShape] = "HollowShape";
        return names;
    }();
    return index < kNames.size() ? std::string_view(kNames[index]) : std::string_view{};
}

// The object is parsed in place in a copy of its bytes, with no entity or line-end
// translation, so every text the parser finds lies at the same offset as in the object, and
// the values handed out are views into the object itself.
struct ObjectParts::Document {
    std::string_view object;
    std::string copy;
    pugi::xml_document xml;
    std::vector<pugi::xml_node> parts;

    // The object's bytes of an element's text: a null view for a missing element, an empty
    // view for an empty one.
    std::string_view textOf(pugi::xml_node element) const
    {
        if (!element) return {};
        const pugi::char_t* text = element.child_value();
        const char* begin = copy.data();
        if (text < begin || text >= begin + copy.size()) return object.substr(0, 0);
        return object.substr(static_cast<std::size_t>(text - begin), std::strlen(text));
    }

    // The components of a vector element, X, Y, Z (and W) in any order and letter case.
    void vectorInto(pugi::xml_node element, std::size_t first, std::size_t count, ValueList& values) const
    {
        static constexpr std::string_view kAxes = "XYZW";
        for (const pugi::xml_node child : element.children()) {
            if (child.type() != pugi::node_element) continue;
            const std::string_view name = child.name();
            for (std::size_t axis = 0; axis < count; ++axis) {
                if (equalsIgnoringCase(name, kAxes.substr(axis, 1))) values[first + axis] = textOf(child);
            }
        }
    }

    void shapeInto(pugi::xml_node shape, bool outerScaleSeen, ValueList& values) const
    {
        for (const pugi::xml_node child : shape.children()) {
            if (child.type() != pugi::node_element) continue;
            const std::string_view name = child.name();
            const auto found = std::find(kShapeValues.begin(), kShapeValues.end(), name);
            if (found != kShapeValues.end()) {
                values[kFirstShapeValue + static_cast<std::size_t>(found - kShapeValues.begin())] = textOf(child);
            } else if (name == "ProfileShape") {
                values[kProfileShape] = textOf(child);
            } else if (name == "HollowShape") {
                values[kHollowShape] = textOf(child);
            } else if (name == "Scale" && !outerScaleSeen) {
                // Files written before 2010 also carry the size inside Shape; the one after
                // Shape wins.
                vectorInto(child, kScale, 3, values);
            }
        }
    }
};

ObjectParts::ObjectParts() : m_document(std::make_unique<Document>()) {}

ObjectParts::~ObjectParts() = default;

bool ObjectParts::parse(std::string_view object)
{
    Document& d = *m_document;
    d.parts.clear();
    d.object = object;
    const std::size_t first = object.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || !object.substr(first).starts_with("<SceneObjectGroup")) return false;
    // The parsed form takes some 64 bytes per element; a degenerate object made mostly of
    // tags would multiply its size many times over, so it is left to the index reading.
    constexpr std::size_t kBytesPerElement = 64;
    constexpr std::size_t kSpareBytes = std::size_t{64} << 20;
    if (object.size() * kBytesPerElement / 8 > kSpareBytes) {  // a tag takes at least 4 bytes
        const auto tags = static_cast<std::size_t>(std::count(object.begin(), object.end(), '<'));
        if (tags / 2 * kBytesPerElement > kSpareBytes + 4 * object.size()) return false;
    }
    d.copy.assign(object);
    // Element text is kept in the element itself rather than in a node of its own: half the
    // nodes, and a parse about a third quicker.
    constexpr unsigned kOptions = pugi::parse_cdata | pugi::parse_ws_pcdata_single | pugi::parse_embed_pcdata;
    if (!d.xml.load_buffer_inplace(d.copy.data(), d.copy.size(), kOptions, pugi::encoding_utf8)) return false;
    pugi::xml_node group;
    for (const pugi::xml_node node : d.xml.children()) {
        if (node.type() == pugi::node_element) {
            if (group) return false;  // a second element: not one object
            group = node;
        } else if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
            const std::string_view text = node.value();
            if (text.find_first_not_of(" \t\r\n") != std::string_view::npos) return false;
        }
    }
    if (!group || std::string_view(group.name()) != "SceneObjectGroup") return false;
    // The older layout (OpenSim's `save xml`, inventory archives) wraps the root part in
    // RootPart and each other part in a Part element.
    pugi::xml_node root = group.child("SceneObjectPart");
    if (!root) root = group.child("RootPart").child("SceneObjectPart");
    if (!root) return false;
    d.parts.push_back(root);
    std::vector<std::pair<long long, pugi::xml_node>> others;
    for (const pugi::xml_node child : group.child("OtherParts").children()) {
        const std::string_view childName = child.name();
        const pugi::xml_node part = childName == "Part" ? child.child("SceneObjectPart") : child;
        if (!part || std::string_view(part.name()) != "SceneObjectPart") continue;
        const std::string_view link = d.textOf(part.child("LinkNum"));
        long long number = 0;
        const char* end = link.data() + link.size();
        if (link.empty() || std::from_chars(link.data(), end, number).ptr != end) number = 1LL << 40;
        others.emplace_back(number, part);
    }
    std::stable_sort(others.begin(), others.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [number, part] : others) d.parts.push_back(part);
    return true;
}

std::size_t ObjectParts::partCount() const { return m_document->parts.size(); }

void ObjectParts::partValues(std::size_t part, ValueList& values) const
{
    const Document& d = *m_document;
    values.assign(kValueCount, std::string_view{});
    bool outerScaleSeen = false;
    for (const pugi::xml_node child : d.parts.at(part).children()) {
        if (child.type() != pugi::node_element) continue;
        const std::string_view name = child.name();
        if (name == "Name") {
            values[kName] = d.textOf(child);
        } else if (name == "GroupPosition") {
            d.vectorInto(child, kGroupPosition, 3, values);
        } else if (name == "OffsetPosition") {
            d.vectorInto(child, kOffsetPosition, 3, values);
        } else if (name == "RotationOffset") {
            d.vectorInto(child, kRotation, 4, values);
        } else if (name == "LinkNum") {
            values[kLinkNum] = d.textOf(child);
        } else if (name == "Shape") {
            d.shapeInto(child, outerScaleSeen, values);
        } else if (name == "Scale") {
            outerScaleSeen = true;
            d.vectorInto(child, kScale, 3, values);
        }
    }
}

std::optional<std::pair<double, double>> ObjectParts::position() const
{
    const Document& d = *m_document;
    if (d.parts.empty()) return std::nullopt;
    ValueList values(kValueCount);
    d.vectorInto(d.parts.front().child("GroupPosition"), kGroupPosition, 2, values);
    const auto x = text::parseNumberQuickly(values[kGroupPosition]);
    const auto y = text::parseNumberQuickly(values[kGroupPosition + 1]);
    if (!x || !y) return std::nullopt;
    return std::pair{*x, *y};
}

ObjectLabel readObjectLabel(std::string_view object)
{
    ValueList values;
    ObjectParts parts;
    if (parts.parse(object)) {
        parts.partValues(0, values);
    } else {
        (void)TokeniseFirstValues(object, values, kGroupPosition + 3);
    }
    const auto value = [&values](std::size_t i) { return i < values.size() ? std::string(values[i]) : std::string(); };
    return ObjectLabel{value(kName), value(kGroupPosition), value(kGroupPosition + 1), value(kGroupPosition + 2)};
}

}  // namespace vantor::extract
