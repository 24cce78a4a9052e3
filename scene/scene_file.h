#pragma once

#include <cstddef>
#include <string_view>

// How a scene file holds its objects: one SceneObjectGroup element per line between the lines
// of a <scene> element. The converter and the extractor's export write it so; the extractor's
// reader also takes any other line layout of such a document.
namespace vantor::scene {

// What stands before the first object line: "<scene>" and an empty line, each ending in CR LF.
inline constexpr std::string_view kSceneFileHead = "<scene>\r\n\r\n";
// What follows the last object line's CR LF: an empty line and "</scene>", each ending in CR LF.
inline constexpr std::string_view kSceneFileTail = "\r\n</scene>\r\n";

// The most bytes an object's document may hold in an archive. Real objects, linksets of
// hundreds of parts with their task inventories included, stay far below it; the archive
// reader refuses a larger one, or one that says it is larger, as an archive bomb, so the
// archive writer never puts one in.
inline constexpr std::size_t kLargestObjectBytes = std::size_t{64} << 20;

}  // namespace vantor::scene
