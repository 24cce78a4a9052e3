#pragma once

#include "object_lines.h"

#include "platform/file_system.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::extract {

// The map's side at the window's design size, in map units (twips): 40 units per metre.
inline constexpr float kDesignMapWidth = 10240.0f;

// The region map: a square of side W map units that shows region coordinates 0 to 256 metres
// in both directions. The origin is the top-left corner; map y grows downwards (south).
struct MapGeometry {
    float width = kDesignMapWidth;
    // `MapScale`: map units per metre.
    [[nodiscard]] double mapScale() const { return static_cast<double>(width) / 256.0; }
};

// An object's position in the region, in metres (X east, Y north): GroupPosition's X and Y.
struct ObjectPosition {
    double x = 0;
    double y = 0;
    friend bool operator==(const ObjectPosition&, const ObjectPosition&) = default;
};

// A marker's top-left corner in map units, single precision as the map stores it.
struct Marker {
    float left = 0;
    float top = 0;
    friend bool operator==(const Marker&, const Marker&) = default;
};

// Reads the position's X and Y values as numbers; nothing when either is missing or not a number.
[[nodiscard]] std::optional<ObjectPosition> readPosition(const PositionValues& values);

// Where the marker of an object at position goes: left = x × MapScale, top = W − y × MapScale.
// Nothing clamps it: an object outside the region gets a marker outside the map.
[[nodiscard]] Marker placeMarker(const ObjectPosition& position, const MapGeometry& map);

enum class LoadError {
    FileUnreadable,      // reason says why
    TooFewValues,        // the object line has fewer than scene::kPositionValueCount values
    PositionNotANumber,  // the position's X or Y (by index, or GroupPosition read by name) is not a number
    NotAnArchive,        // the file read as an archive is no OpenSim archive; reason says why
    ObjectTooLarge,      // an archive's object unpacks to more than kLargestObjectBytes; reason is its path
    NoScratchRoom,       // unpacking would leave the scratch folder (reason) less than its reserve
    FileChanged,         // the file changed (was rewritten, shortened, grew) while it was read
    OutOfMemory,         // there was not memory enough to hold what the load needs
};

// Where an object of a load is.
struct ObjectPlace {
    std::size_t lineNumber = 0;    // line of the file, from 1 (0 in an archive)
    std::size_t objectNumber = 0;  // entry of the table, from 1
    friend bool operator==(const ObjectPlace&, const ObjectPlace&) = default;
};

struct LoadFailure {
    LoadError error = LoadError::FileUnreadable;
    ObjectPlace place;   // TooFewValues, PositionNotANumber: the object concerned
    std::string reason;  // FileUnreadable and the archive errors: why, or what it concerns
};

// How the objects of a load were found.
enum class SceneLayout {
    Lines,     // one object per line (the converter's files, OpenSim up to 0.9.0)
    Document,  // the SceneObjectGroup elements of a scene document, whatever its lines
    Archive,   // the objects/*.xml entries of an OpenSim archive
};

struct SceneLoad {
    SceneLayout layout = SceneLayout::Lines;
    // Every line of the file longer than 10 characters, in file order; empty after a failure.
    ObjectLines objects;
    // Marker k belongs to entry k of objects; after a cut-off line, only the entries before it have one.
    std::vector<Marker> markers;
    // The position of each entry that has a marker, so that filtering need not read it again.
    std::vector<ObjectPosition> positions;
    // A cut-off line ended the markers: where it is. The whole file is in the table.
    std::optional<ObjectPlace> cutOff;
    // Nothing when the load gave a table: complete, or up to a cut-off line.
    std::optional<LoadFailure> failure;
    explicit operator bool() const { return !failure; }
};

// Loads scene file text as the extractor window does: the bytes are decoded (UTF-8, else
// Windows-1252), cut into lines at CR LF, lone CR and lone LF, every line longer than 10
// characters becomes an object, and each object gets a marker until a cut-off line. When
// not every object line holds one whole SceneObjectGroup element and the text is a scene
// document ("<scene>", well-formed SceneObjectGroup elements, "</scene>"; or any well-formed
// document whose root is scene and holds such elements among text and other elements), the
// objects are its elements instead, whatever the line layout. NUL bytes at the end are ignored.
// An object's position is its position values by index (scene/object_layout.h) when they are
// GroupPosition's X and Y, else its root part's GroupPosition by name.
[[nodiscard]] SceneLoad loadSceneText(std::string bytes, const MapGeometry& map = {});

// Loads a file's bytes as loadSceneText does, keeping them in their block when they are UTF-8.
// Bytes that changed while they were read, or while they were loaded, give FileChanged; the
// table of bytes kept in their block asks them again (ObjectLines::sourceChanged).
[[nodiscard]] SceneLoad loadSceneBytes(platform::SharedBytes bytes, const MapGeometry& map = {});

// The load of a file that could not be read, reason saying why.
[[nodiscard]] SceneLoad unreadableFile(std::string reason);

// A load that ended in error, reason saying what it concerns (where the error has a reason).
[[nodiscard]] SceneLoad failedLoad(LoadError error, std::string reason = {});

// Reads the file at path and loads it.
[[nodiscard]] SceneLoad loadSceneFile(const platform::FileSystem& files, const std::string& path,
                                      const MapGeometry& map = {});

}  // namespace vantor::extract
