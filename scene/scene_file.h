#pragma once

#include <string_view>

// How a scene file holds its objects: one SceneObjectGroup element per line between the lines
// of a <scene> element. The converter and the extractor's export write it so; the extractor's
// reader also takes any other line layout of such a document.
namespace vantor::scene {

// What stands before the first object line: "<scene>" and an empty line, each ending in CR LF.
inline constexpr std::string_view kSceneFileHead = "<scene>\r\n\r\n";
// What follows the last object line's CR LF: an empty line and "</scene>", each ending in CR LF.
inline constexpr std::string_view kSceneFileTail = "\r\n</scene>\r\n";

}  // namespace vantor::scene
