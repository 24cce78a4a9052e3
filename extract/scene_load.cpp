#include "scene_load.h"

#include "convert/number_fast_paths.h"
#include "convert/text_codec.h"

#include <exception>
#include <memory>
#include <thread>
#include <utility>

namespace vantor::extract {

namespace {

constexpr std::size_t kShortestObjectLine = 11;  // characters
constexpr std::size_t kPositionValueCount = 24;

// Whether a line is an object line: more than 10 characters. A character takes at most four
// bytes, so only lines of 11 to 40 bytes need counting.
bool isObjectLine(std::string_view line)
{
    if (line.size() < kShortestObjectLine) return false;
    if (line.size() > 4 * (kShortestObjectLine - 1)) return true;
    return convert::countCharacters(line) >= kShortestObjectLine;
}

// What reading one stretch of whole lines found.
struct StretchRead {
    bool validEncoding = true;  // false: a line that is not valid UTF-8 ended the reading
    LoadOutcome outcome = LoadOutcome::Complete;
    ReadError readError = ReadError::TooFewValues;
    std::size_t lineCount = 0;     // lines read
    std::size_t lineNumber = 0;    // stop or read error: its line, from 1 in the stretch
    std::size_t objectNumber = 0;  // likewise its object
    std::vector<std::string_view> objects;
    std::vector<ObjectPosition> positions;  // of the objects before a stop or read error
};

// Cuts text into lines, keeps the object lines and, while placing, reads their positions up
// to a cut-off line or a read error. A read error ends the reading; with checkEncoding, so
// does the first line that is not valid UTF-8.
StretchRead readStretch(std::string_view text, bool checkEncoding, bool placing)
{
    StretchRead read;
    convert::LineCursor cursor(text);
    while (const auto line = cursor.next()) {
        ++read.lineCount;
        if (checkEncoding && !convert::isValidUtf8(*line)) {
            read.validEncoding = false;
            return read;
        }
        if (!isObjectLine(*line)) continue;
        read.objects.push_back(*line);
        if (!placing) continue;
        const PositionValues values = scanPositionValues(*line);
        std::optional<ObjectPosition> position;
        if (values.result != TokeniseResult::Stop) position = readPosition(values);
        if (position) {
            read.positions.push_back(*position);
            continue;
        }
        read.lineNumber = read.lineCount;
        read.objectNumber = read.objects.size();
        if (values.result == TokeniseResult::Stop) {
            read.outcome = LoadOutcome::StoppedAtCutOff;
            placing = false;
            continue;
        }
        read.outcome = LoadOutcome::ReadError;
        read.readError = values.valueCount < kPositionValueCount ? ReadError::TooFewValues
                                                                 : ReadError::PositionNotANumber;
        return read;
    }
    return read;
}

// Where a large text is cut in two for reading on two threads: just after the first line end
// from the middle on, so both halves cut their lines as the whole text would. Zero when the
// text is too small to be worth it or has no line end there.
std::size_t halfway(std::string_view text)
{
    constexpr std::size_t kWorthSplitting = std::size_t{8} << 20;
    if (text.size() < kWorthSplitting) return 0;
    const std::size_t end = text.find_first_of("\r\n", text.size() / 2);
    if (end == std::string_view::npos) return 0;
    return end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
}

// Reads the object lines of text into load and objects, as far as a cut-off line or a read
// error lets it. Gives up (false) when checkEncoding finds a line that is not valid UTF-8
// before any read error. A large text is read in two halves at once; the second half's
// findings count only as far as the first half let the reading go on.
bool readObjectLines(std::string_view text, bool checkEncoding, SceneLoad& load,
                     std::vector<std::string_view>& objects)
{
    const std::size_t split = halfway(text);
    std::vector<std::string_view> parts{text};
    if (split != 0) parts = {text.substr(0, split), text.substr(split)};
    std::vector<StretchRead> stretches(parts.size());
    std::exception_ptr helperFailure;  // handed on to the caller, as if this thread had failed
    {
        std::vector<std::jthread> helpers;
        for (std::size_t i = 1; i < parts.size(); ++i) {
            helpers.emplace_back([&stretches, &parts, &helperFailure, i, checkEncoding] {
                try {
                    stretches[i] = readStretch(parts[i], checkEncoding, true);
                } catch (...) {
                    helperFailure = std::current_exception();
                }
            });
        }
        stretches[0] = readStretch(parts[0], checkEncoding, true);
    }
    if (helperFailure) std::rethrow_exception(helperFailure);

    bool placing = true;
    std::size_t lineBase = 0;
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        StretchRead& read = stretches[i];
        // After a cut-off line nothing more is placed, so a read error that ended this
        // stretch early does not count: read it again without placing.
        if (!placing && read.outcome == LoadOutcome::ReadError) {
            read = readStretch(parts[i], checkEncoding, false);
        }
        if (!read.validEncoding) return false;
        if (placing) {
            load.positions.insert(load.positions.end(), read.positions.begin(), read.positions.end());
            if (read.outcome != LoadOutcome::Complete) {
                load.outcome = read.outcome;
                load.readError = read.readError;
                load.lineNumber = lineBase + read.lineNumber;
                load.objectNumber = objects.size() + read.objectNumber;
                placing = false;
            }
        }
        if (load.outcome == LoadOutcome::ReadError) {
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
    if (values.valueCount < kPositionValueCount) return std::nullopt;
    const auto x = convert::parseNumberQuickly(values.x);
    const auto y = convert::parseNumberQuickly(values.y);
    if (!x || !y) return std::nullopt;
    return ObjectPosition{*x, *y};
}

Marker PlaceMarker(const ObjectPosition& position, const MapGeometry& map)
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
    for (const ObjectPosition& position : load.positions) load.markers.push_back(PlaceMarker(position, map));
    load.objects = ObjectLines(std::move(text), std::move(objects));
    return load;
}

bool hasByteOrderMark(std::string_view bytes) { return bytes.substr(0, 3) == "\xEF\xBB\xBF"; }

}  // namespace

SceneLoad loadSceneText(std::string bytes, const MapGeometry& map)
{
    // The text is held once; the table and every later selection are views into it. It is
    // taken as it is when every line is valid UTF-8, which the reading checks line by line
    // while each line is in the cache; any other byte has the whole text decoded and read again.
    const bool decodeFirst = hasByteOrderMark(bytes);
    if (decodeFirst) bytes = convert::decodeText(std::move(bytes));
    auto text = std::make_shared<std::string>(std::move(bytes));
    SceneLoad load;
    std::vector<std::string_view> objects;
    if (!readObjectLines(*text, !decodeFirst, load, objects)) {
        *text = convert::decodeText(std::move(*text));
        load = SceneLoad{};
        objects.clear();
        (void)readObjectLines(*text, false, load, objects);
    }
    return finishLoad(std::move(load), std::move(text), std::move(objects), map);
}

SceneLoad loadSceneFile(const platform::FileSystem& files, const std::string& path, const MapGeometry& map)
{
    std::string reason;
    auto bytes = files.readShared(path, &reason);
    if (!bytes) {
        SceneLoad load;
        load.outcome = LoadOutcome::ReadError;
        load.readError = ReadError::FileUnreadable;
        load.reason = std::move(reason);
        return load;
    }
    // Valid UTF-8 is kept in the block it was read into; anything else is decoded into a copy.
    if (!hasByteOrderMark(bytes->bytes)) {
        SceneLoad load;
        std::vector<std::string_view> objects;
        if (readObjectLines(bytes->bytes, true, load, objects)) {
            return finishLoad(std::move(load), std::move(bytes->owner), std::move(objects), map);
        }
    }
    std::string copy(bytes->bytes);
    bytes.reset();  // the block goes before decoding doubles the copy
    return loadSceneText(std::move(copy), map);
}

}  // namespace vantor::extract
