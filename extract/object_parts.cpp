#include "object_parts.h"

#include "scene/object_layout.h"
#include "text/number_forms.h"

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

namespace value = scene::value;

// The Shape children of a converter's document that a record reads, in index order: values
// kExtraParams to kProfileHollow.
constexpr std::size_t kShapeValueCount = value::kProfileHollow - value::kExtraParams + 1;

// The runs of values that a listing record and a marker take by index, first and last.
struct ValueRun {
    std::size_t first;
    std::size_t last;
};
constexpr std::array<ValueRun, 5> kIndexedRuns = {{
    {value::kName, value::kName},
    {value::kPositionX, value::kPositionZ},
    {value::kRotationX, value::kRotationW},
    {value::kExtraParams, value::kScaleZ},
    {value::kProfileShape, value::kHollowShape},
}};

// The elements of a value's path, outermost first.
std::vector<std::string_view> elementsOf(std::size_t index)
{
    std::vector<std::string_view> elements;
    std::string_view path = scene::kDocumentValues[index];
    for (std::size_t slash = path.find('/'); slash != std::string_view::npos; slash = path.find('/')) {
        elements.push_back(path.substr(0, slash));
        path.remove_prefix(slash + 1);
    }
    elements.push_back(path);
    return elements;
}

std::size_t sharedDepth(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b)
{
    std::size_t depth = 0;
    while (depth < a.size() && depth < b.size() && a[depth] == b[depth]) ++depth;
    return depth;
}

// What must stand right before a value that is read by index: its elements' opening tags
// from where it parts from the value before it, and for a value that follows another of its
// run, that value's closing tags too, so that a run of values is known to be one element's
// children in a row. What must stand right after the last value of a run: its element's
// closing tag, and that of the vector it ends, so that the value is the element's whole text.
struct IndexedValue {
    std::size_t index = 0;
    std::string text;
};

struct IndexedLayout {
    std::vector<IndexedValue> before;
    std::vector<IndexedValue> after;
};

const IndexedLayout& indexedLayout()
{
    static const IndexedLayout kLayout = [] {
        IndexedLayout layout;
        for (const auto& [first, last] : kIndexedRuns) {
            for (std::size_t index = first; index <= last; ++index) {
                const auto elements = elementsOf(index);
                const auto previous = elementsOf(index - 1);
                const std::size_t depth = sharedDepth(elements, previous);
                std::string text;
                if (index != first) {
                    for (std::size_t e = previous.size(); e > depth; --e) {
                        text += "</" + std::string(previous[e - 1]) + ">";
                    }
                }
                for (std::size_t e = depth; e < elements.size(); ++e) text += "<" + std::string(elements[e]) + ">";
                layout.before.push_back({index, std::move(text)});
            }
            const auto elements = elementsOf(last);
            const bool axis = elements.size() > 1 && elements.back().size() == 1;
            std::string text = "</" + std::string(elements.back()) + ">";
            if (axis) text += "</" + std::string(elements[elements.size() - 2]) + ">";
            layout.after.push_back({last, std::move(text)});
        }
        return layout;
    }();
    return kLayout;
}

// What must stand right before the value at index when it is read by index.
const std::string& beforeValue(std::size_t index)
{
    for (const IndexedValue& value : indexedLayout().before) {
        if (value.index == index) return value.text;
    }
    static const std::string kNone;
    return kNone;
}

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

// Each value's own element name ("X" for "GroupPosition/X"), worked out once: the names are
// compared with every element of every part read.
constexpr auto kOwnElements = [] {
    std::array<std::string_view, scene::kDocumentValues.size()> names{};
    for (std::size_t index = 0; index < names.size(); ++index) names[index] = scene::ownElement(index);
    return names;
}();

// The index of a Shape child that a record reads, by its element name; nothing for another.
std::optional<std::size_t> shapeValueIndex(std::string_view name)
{
    for (std::size_t index = value::kExtraParams; index < value::kExtraParams + kShapeValueCount; ++index) {
        if (kOwnElements[index] == name) return index;
    }
    if (name == kOwnElements[value::kProfileShape]) return value::kProfileShape;
    if (name == kOwnElements[value::kHollowShape]) return value::kHollowShape;
    return std::nullopt;
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
    if (values.size() < scene::kUsedValueCount) return false;
    const IndexedLayout& layout = indexedLayout();
    for (const auto& [index, before] : layout.before) {
        if (!standsAfter(object, values[index], before)) return false;
    }
    for (const auto& [index, after] : layout.after) {
        if (!standsBefore(object, values[index], after)) return false;
    }
    return hasNoOtherParts(object);
}

bool positionReadsByIndex(std::string_view object, const PositionValues& values)
{
    static const std::string kAfterY = "</" + std::string(scene::ownElement(value::kPositionY)) + ">";
    return values.valueCount > value::kPositionY && standsAfter(object, values.x, beforeValue(value::kPositionX))
        && standsAfter(object, values.y, beforeValue(value::kPositionY)) && standsBefore(object, values.y, kAfterY);
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
        for (const pugi::xml_node child : element.children()) {
            if (child.type() != pugi::node_element) continue;
            const std::string_view name = child.name();
            for (std::size_t axis = 0; axis < count; ++axis) {
                if (equalsIgnoringCase(name, kOwnElements[first + axis])) values[first + axis] = textOf(child);
            }
        }
    }

    void shapeInto(pugi::xml_node shape, bool outerScaleSeen, ValueList& values) const
    {
        for (const pugi::xml_node child : shape.children()) {
            if (child.type() != pugi::node_element) continue;
            const std::string_view name = child.name();
            if (const auto index = shapeValueIndex(name)) {
                values[*index] = textOf(child);
            } else if (name == scene::outerElement(value::kScaleX) && !outerScaleSeen) {
                // Files written before 2010 also carry the size inside Shape; the one after
                // Shape wins.
                vectorInto(child, value::kScaleX, 3, values);
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
    values.assign(scene::kUsedValueCount, std::string_view{});
    bool outerScaleSeen = false;
    for (const pugi::xml_node child : d.parts.at(part).children()) {
        if (child.type() != pugi::node_element) continue;
        const std::string_view name = child.name();
        if (name == scene::ownElement(value::kName)) {
            values[value::kName] = d.textOf(child);
        } else if (name == scene::outerElement(value::kPositionX)) {
            d.vectorInto(child, value::kPositionX, 3, values);
        } else if (name == scene::outerElement(value::kOffsetX)) {
            d.vectorInto(child, value::kOffsetX, 3, values);
        } else if (name == scene::outerElement(value::kRotationX)) {
            d.vectorInto(child, value::kRotationX, 4, values);
        } else if (name == scene::ownElement(value::kLinkNum)) {
            values[value::kLinkNum] = d.textOf(child);
        } else if (name == scene::outerElement(value::kExtraParams)) {
            d.shapeInto(child, outerScaleSeen, values);
        } else if (name == scene::outerElement(value::kScaleX)) {
            outerScaleSeen = true;
            d.vectorInto(child, value::kScaleX, 3, values);
        }
    }
}

std::optional<std::pair<double, double>> ObjectParts::position() const
{
    const Document& d = *m_document;
    if (d.parts.empty()) return std::nullopt;
    ValueList values(scene::kUsedValueCount);
    const std::string groupPosition(scene::outerElement(value::kPositionX));
    d.vectorInto(d.parts.front().child(groupPosition.c_str()), value::kPositionX, 2, values);
    const auto x = text::parseNumber(values[value::kPositionX]);
    const auto y = text::parseNumber(values[value::kPositionY]);
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
        (void)tokeniseFirstValues(object, values, value::kPositionZ + 1);
    }
    const auto valueText = [&values](std::size_t i) {
        return i < values.size() ? std::string(values[i]) : std::string();
    };
    return ObjectLabel{valueText(value::kName), valueText(value::kPositionX), valueText(value::kPositionY),
                       valueText(value::kPositionZ)};
}

}  // namespace vantor::extract
