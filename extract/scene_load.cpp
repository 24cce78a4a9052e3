#include "scene_load.h"

#include "object_parts.h"
#include "scene_document.h"

#include "parallel/two_halves.h"
#include "scene/object_layout.h"
#include "text/number_forms.h"
#include "text/text_codec.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

namespace vantor::extract {

namespace {

constexpr std::size_t kShortestObjectLine = 11;  // characters

// Whether a line is an object line: more than 10 characters. A character takes at most four
// bytes, so only lines of 11 to 40 bytes need counting.
bool isObjectLine(std::string_view line)
{
    if (line.size() < kShortestObjectLine) return false;
    if (line.size() > 4 * (kShortestObjectLine - 1)) return true;
    return text::countCharacters(line) >= kShortestObjectLine;
}

// How the reading of a stretch of lines ended.
enum class StretchEnd {
    Complete,  // every object placed
    CutOff,    // a cut-off line ended the placing; the lines were all read
    Failed,    // an object has no usable position
};

// What reading one stretch of whole lines found.
struct StretchRead {
    bool validEncoding = true;  // false: a line that is not valid UTF-8 ended the reading
    bool oneObjectLines = true;  // every object line read holds one whole object
    StretchEnd end = StretchEnd::Complete;
    LoadError error = LoadError::TooFewValues;  // Failed: why
    std::size_t lineCount = 0;     // lines read
    std::size_t lineNumber = 0;    // stop or read error: its line, from 1 in the stretch
    std::size_t objectNumber = 0;  // likewise its object
    std::vector<std::string_view> objects;
    std::vector<ObjectPosition> positions;  // of the objects before a stop or read error
};

// Finds the root part's GroupPosition of an OpenSim object without building its parsed form:
// the first "<GroupPosition>" of the element is the root part's, written as OpenSim writes it,
// "<GroupPosition><X>x</X><Y>y</Y>". Nothing when it is written any other way.
class PositionFinder {
public:
    static std::optional<ObjectPosition> find(std::string_view element)
    {
        const std::size_t found = findByRareByte(element, 0, kTag, kTag.find('G'));
        if (found == std::string_view::npos) return std::nullopt;
        std::string_view rest = element.substr(found + kTag.size());
        const auto x = number(rest, "<X>", "</X>");
        const auto y = number(rest, "<Y>", "</Y>");
        if (!x || !y) return std::nullopt;
        return ObjectPosition{*x, *y};
    }

private:
    static constexpr std::string_view kTag = "<GroupPosition>";

    // The number between open and close at the start of rest, which moves past them.
    static std::optional<double> number(std::string_view& rest, std::string_view open, std::string_view close)
    {
        if (!rest.starts_with(open)) return std::nullopt;
        const std::size_t end = rest.find('<', open.size());
        if (end == std::string_view::npos || rest.substr(end, close.size()) != close) return std::nullopt;
        const auto value = text::parseNumber(rest.substr(open.size(), end - open.size()));
        rest.remove_prefix(end + close.size());
        return value;
    }
};

// An object's position: its position values by index when they are GroupPosition's X and Y, else the
// root part's GroupPosition read by element name. An object that is not a SceneObjectGroup
// element at all is read by index, as ever; so is a line that does not hold one whole object,
// which a scene document's reading takes over. parts is made when first needed.
std::optional<ObjectPosition> objectPosition(std::string_view object, const PositionValues& values,
                                             std::unique_ptr<ObjectParts>& parts)
{
    if (positionReadsByIndex(object, values) || !isOneObjectLine(object)) return readPosition(values);
    if (const auto position = PositionFinder::find(object)) return position;
    if (!parts) parts = std::make_unique<ObjectParts>();
    if (!parts->parse(object)) return readPosition(values);
    const auto position = parts->position();
    if (!position) return std::nullopt;
    return ObjectPosition{position->first, position->second};
}

// Cuts text into lines, keeps the object lines and, while placing, reads their positions up
// to a cut-off line or a read error. A read error ends the reading; with checkEncoding, so
// does the first line that is not valid UTF-8.
StretchRead readStretch(std::string_view text, bool checkEncoding, bool placing)
{
    StretchRead read;
    std::unique_ptr<ObjectParts> parts;
    text::LineCursor cursor(text);
    while (const auto line = cursor.next()) {
        ++read.lineCount;
        if (checkEncoding && !text::isValidUtf8(*line)) {
            read.validEncoding = false;
            return read;
        }
        if (!isObjectLine(*line)) continue;
        read.objects.push_back(*line);
        if (read.oneObjectLines && !isOneObjectLine(*line)) read.oneObjectLines = false;
        if (!placing) continue;
        const PositionValues values = scanPositionValues(*line);
        std::optional<ObjectPosition> position;
        if (values.result != TokeniseResult::Stop) position = objectPosition(*line, values, parts);
        if (position) {
            read.positions.push_back(*position);
            continue;
        }
        read.lineNumber = read.lineCount;
        read.objectNumber = read.objects.size();
        if (values.result == TokeniseResult::Stop) {
            read.end = StretchEnd::CutOff;
            placing = false;
            continue;
        }
        read.end = StretchEnd::Failed;
        read.error = values.valueCount < scene::kPositionValueCount ? LoadError::TooFewValues
                                                                    : LoadError::PositionNotANumber;
        return read;
    }
    return read;
}

// Where a large text is cut in two for reading on two threads: just after the first line end
// from the middle on, so both halves cut their lines as the whole text would. Zero when the
// text is too small to be worth it or has no line end there.
std::size_t halfway(std::string_view text)
{
    if (!parallel::isWorthTwoHalves(text.size())) return 0;
    // Two plain searches: a search for either character tests every byte one by one, which
    // costs seconds when the half holds no line end at all (a file of one long line).
    const std::size_t end = std::min(text.find('\r', text.size() / 2), text.find('\n', text.size() / 2));
    if (end == std::string_view::npos) return 0;
    return end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
}

// Reads the object lines of text into load and objects, as far as a cut-off line or a read
// error lets it. Gives up (false) when checkEncoding finds a line that is not valid UTF-8
// before any read error. A large text is read in two halves at once; the second half's
// findings count only as far as the first half let the reading go on. oneObjectLines tells
// whether every object line read held one whole object.
bool readObjectLines(std::string_view text, bool checkEncoding, SceneLoad& load,
                     std::vector<std::string_view>& objects, bool& oneObjectLines)
{
    oneObjectLines = true;
    const std::size_t split = halfway(text);
    std::vector<std::string_view> parts{text};
    if (split != 0) parts = {text.substr(0, split), text.substr(split)};
    std::vector<StretchRead> stretches(parts.size());
    const auto readPart = [&stretches, &parts, checkEncoding](std::size_t i) {
        stretches[i] = readStretch(parts[i], checkEncoding, true);
    };
    if (parts.size() == 1) {
        readPart(0);
    } else {
        parallel::runInTwoHalves([&] { readPart(0); }, [&] { readPart(1); });
    }

    bool placing = true;
    std::size_t lineBase = 0;
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        StretchRead& read = stretches[i];
        // After a cut-off line nothing more is placed, so a read error that ended this
        // stretch early does not count: read it again without placing.
        if (!placing && read.end == StretchEnd::Failed) {
            read = readStretch(parts[i], checkEncoding, false);
        }
        if (!read.validEncoding) return false;
        oneObjectLines = oneObjectLines && read.oneObjectLines;
        if (placing) {
            load.positions.insert(load.positions.end(), read.positions.begin(), read.positions.end());
            if (read.end != StretchEnd::Complete) {
                const ObjectPlace place{lineBase + read.lineNumber, objects.size() + read.objectNumber};
                if (read.end == StretchEnd::CutOff) {
                    load.cutOff = place;
                } else {
                    load.failure = LoadFailure{read.error, place, {}};
                }
                placing = false;
            }
        }
        if (load.failure) {
            load.positions.clear();
            objects.clear();
            return true;
        }
        objects.insert(objects.end(), read.objects.begin(), read.objects.end());
        lineBase += read.lineCount;
    }
    return true;
}

}  // namespace

std::optional<ObjectPosition> readPosition(const PositionValues& values)
{
    if (values.valueCount < scene::kPositionValueCount) return std::nullopt;
    const auto x = text::parseNumber(values.x);
    const auto y = text::parseNumber(values.y);
    if (!x || !y) return std::nullopt;
    return ObjectPosition{*x, *y};
}

Marker placeMarker(const ObjectPosition& position, const MapGeometry& map)
{
    const double scale = map.mapScale();
    return Marker{static_cast<float>(position.x * scale),
                  static_cast<float>(static_cast<double>(map.width) - position.y * scale)};
}

namespace {

SceneLoad finishLoad(SceneLoad load, std::shared_ptr<const void> text, std::vector<std::string_view> objects,
                     const MapGeometry& map)
{
    load.markers.reserve(load.positions.size());
    for (const ObjectPosition& position : load.positions) load.markers.push_back(placeMarker(position, map));
    load.objects = ObjectLines(std::move(text), std::move(objects));
    return load;
}

bool hasByteOrderMark(std::string_view bytes) { return bytes.substr(0, 3) == "\xEF\xBB\xBF"; }

// How many NUL bytes end the bytes: padding that some writers leave after the text, read as
// if it were not there.
std::size_t trailingNuls(std::string_view bytes)
{
    const std::size_t last = bytes.find_last_not_of('\0');
    return bytes.size() - (last == std::string_view::npos ? 0 : last + 1);
}

// The positions of objects that are each one SceneObjectGroup element; a null entry for an
// object without a readable position. Most are found as OpenSim writes them (positions may
// hold those already, one per element); the others are read by element name, and false comes
// back when one of those is not a well-formed element.
bool readElementPositions(const std::vector<std::string_view>& elements,
                          std::vector<std::optional<ObjectPosition>>& positions)
{
    if (positions.size() != elements.size()) {
        positions.clear();
        for (const std::string_view element : elements) positions.push_back(PositionFinder::find(element));
    }
    std::unique_ptr<ObjectParts> parts;
    for (std::size_t k = 0; k < elements.size(); ++k) {
        if (positions[k]) continue;
        if (!parts) parts = std::make_unique<ObjectParts>();
        if (!parts->parse(elements[k])) return false;
        if (const auto position = parts->position()) positions[k] = ObjectPosition{position->first, position->second};
    }
    return true;
}

// Reads text as a scene document: its SceneObjectGroup elements are the objects, whatever
// the line layout. Nothing when text is not a scene document of well-formed elements.
std::optional<SceneLoad> readSceneDocument(std::string_view text, std::vector<std::string_view>& objects)
{
    // Each position is looked for as the split finds its object, rather than once the whole
    // file is split and the object's bytes have left the cache.
    std::vector<std::optional<ObjectPosition>> positions;
    auto elements = splitSceneDocument(text, [&positions](std::string_view element) {
        positions.push_back(PositionFinder::find(element));
    });
    if (!elements) {
        positions.clear();
        // Text or other elements between the objects: the objects are still found by
        // structure, as long as there are some; lines among no objects stay lines.
        auto found = findSceneObjects(text);
        if (!found || found->empty()) return std::nullopt;
        elements = std::move(found);
    }
    if (!readElementPositions(*elements, positions)) return std::nullopt;
    SceneLoad load;
    load.layout = SceneLayout::Document;
    load.positions.reserve(positions.size());
    for (std::size_t k = 0; k < positions.size(); ++k) {
        if (!positions[k]) {
            const std::size_t line = lineNumberAt(text, static_cast<std::size_t>((*elements)[k].data() - text.data()));
            load.failure = LoadFailure{LoadError::PositionNotANumber, {line, k + 1}, {}};
            load.positions.clear();
            objects.clear();
            return load;
        }
        load.positions.push_back(*positions[k]);
    }
    objects = std::move(*elements);
    return load;
}

// Loads text whose bytes stay where they are (owner keeps them alive): line by line, or as a
// scene document when its lines do not each hold one object. Nothing when checkEncoding
// finds text that is not valid UTF-8 before the load is settled.
std::optional<SceneLoad> loadText(std::shared_ptr<const void> owner, std::string_view text, bool checkEncoding,
                                  const MapGeometry& map)
{
    SceneLoad load;
    std::vector<std::string_view> objects;
    bool oneObjectLines = true;
    if (!readObjectLines(text, checkEncoding, load, objects, oneObjectLines)) return std::nullopt;
    if (!oneObjectLines || load.cutOff || load.failure) {
        // Objects that span lines, or lines that hold several, are found by structure; a file
        // that is not a scene document keeps what the lines gave.
        // The reading of the lines checked every line's encoding unless a read error ended it.
        if (checkEncoding && load.failure && !text::isValidUtf8(text)) return std::nullopt;
        std::vector<std::string_view> elements;
        if (auto document = readSceneDocument(text, elements)) {
            load = std::move(*document);
            objects = std::move(elements);
        }
    }
    return finishLoad(std::move(load), std::move(owner), std::move(objects), map);
}

}  // namespace

SceneLoad loadSceneText(std::string bytes, const MapGeometry& map)
{
    // The text is held once; the table and every later selection are views into it. It is
    // taken as it is when every line is valid UTF-8, which the reading checks line by line
    // while each line is in the cache; any other byte has the whole text decoded and read again.
    bytes.resize(bytes.size() - trailingNuls(bytes));
    const bool decodeFirst = hasByteOrderMark(bytes);
    if (decodeFirst) bytes = text::decodeText(std::move(bytes));
    auto text = std::make_shared<std::string>(std::move(bytes));
    if (auto load = loadText(text, *text, !decodeFirst, map)) return std::move(*load);
    *text = text::decodeText(std::move(*text));
    return std::move(*loadText(text, *text, false, map));
}

SceneLoad loadSceneBytes(platform::SharedBytes bytes, const MapGeometry& map)
{
    const std::function<bool()> changed = std::move(bytes.changed);
    const auto hasChanged = [&changed] { return changed && changed(); };
    if (hasChanged()) return failedLoad(LoadError::FileChanged);
    bytes.bytes.remove_suffix(trailingNuls(bytes.bytes));
    // Valid UTF-8 is kept in the block it was read into; anything else is decoded into a copy.
    if (!hasByteOrderMark(bytes.bytes)) {
        if (auto load = loadText(bytes.owner, bytes.bytes, true, map)) {
            if (hasChanged()) return failedLoad(LoadError::FileChanged);
            load->objects.watchSource(changed);
            return std::move(*load);
        }
    }
    std::string copy(bytes.bytes);
    if (hasChanged()) return failedLoad(LoadError::FileChanged);
    bytes = {};  // the block goes before decoding doubles the copy
    return loadSceneText(std::move(copy), map);
}

SceneLoad failedLoad(LoadError error, std::string reason)
{
    SceneLoad load;
    load.failure = LoadFailure{error, {}, std::move(reason)};
    return load;
}

SceneLoad unreadableFile(std::string reason) { return failedLoad(LoadError::FileUnreadable, std::move(reason)); }

SceneLoad loadSceneFile(const platform::FileSystem& files, const std::string& path, const MapGeometry& map)
{
    std::string reason;
    auto bytes = files.readShared(path, &reason);
    if (!bytes) return unreadableFile(std::move(reason));
    return loadSceneBytes(std::move(*bytes), map);
}

}  // namespace vantor::extract
