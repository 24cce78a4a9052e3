#include "scene_load.h"

#include "convert/number_forms.h"
#include "convert/text_codec.h"

#include <memory>
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
    if (line.size() >= 4 * kShortestObjectLine) return true;
    return convert::countCharacters(line) >= kShortestObjectLine;
}

}  // namespace

std::optional<ObjectPosition> readPosition(const PositionValues& values)
{
    if (values.valueCount < kPositionValueCount) return std::nullopt;
    const auto x = convert::parseNumber(values.x);
    const auto y = convert::parseNumber(values.y);
    if (!x || !y) return std::nullopt;
    return ObjectPosition{*x, *y};
}

Marker PlaceMarker(const ObjectPosition& position, const MapGeometry& map)
{
    const double scale = map.mapScale();
    return Marker{static_cast<float>(position.x * scale),
                  static_cast<float>(static_cast<double>(map.width) - position.y * scale)};
}

SceneLoad loadSceneText(std::string bytes, const MapGeometry& map)
{
    SceneLoad load;
    // The text is held once; the table and every later selection are views into it.
    const auto text = std::make_shared<const std::string>(convert::decodeText(std::move(bytes)));
    std::vector<std::string_view> objects;
    bool placing = true;
    std::size_t lineNumber = 0;
    convert::LineCursor cursor(*text);
    // Each line is scanned as soon as it is cut, while its bytes are still in the cache.
    while (const auto line = cursor.next()) {
        ++lineNumber;
        if (!isObjectLine(*line)) continue;
        objects.push_back(*line);
        if (!placing) continue;
        const PositionValues values = scanPositionValues(*line);
        if (values.result == TokeniseResult::Stop) {
            load.outcome = LoadOutcome::StoppedAtCutOff;
            load.lineNumber = lineNumber;
            load.objectNumber = objects.size();
            placing = false;
            continue;
        }
        const auto position = readPosition(values);
        if (!position) {
            load.outcome = LoadOutcome::ReadError;
            load.readError = values.valueCount < kPositionValueCount ? ReadError::TooFewValues
                                                                     : ReadError::PositionNotANumber;
            load.lineNumber = lineNumber;
            load.objectNumber = objects.size();
            load.markers.clear();
            load.positions.clear();
            return load;
        }
        load.positions.push_back(*position);
        load.markers.push_back(PlaceMarker(*position, map));
    }
    load.objects = ObjectLines(text, std::move(objects));
    return load;
}

SceneLoad loadSceneFile(const platform::FileSystem& files, const std::string& path, const MapGeometry& map)
{
    std::string reason;
    auto bytes = files.readAll(path, &reason);
    if (!bytes) {
        SceneLoad load;
        load.outcome = LoadOutcome::ReadError;
        load.readError = ReadError::FileUnreadable;
        load.reason = std::move(reason);
        return load;
    }
    return loadSceneText(std::move(*bytes), map);
}

}  // namespace vantor::extract
