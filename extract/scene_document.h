#pragma once

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace vantor::extract {

// Whether a line of a scene file holds one object as the converter and OpenSim up to 0.9.0
// write it: it begins with "<SceneObjectGroup>" and ends with "</SceneObjectGroup>". When
// every object line of a file is such a line, reading line by line gives the objects.
[[nodiscard]] bool isOneObjectLine(std::string_view line);

// The SceneObjectGroup elements of a scene document, each the exact bytes from its "<" to its
// closing ">", in document order, whatever the line layout: an optional XML declaration and
// comments, then "<scene>", elements separated by blanks and line ends only, then "</scene>".
// Nothing when text is not laid out so. Whether each element is well-formed is for the
// caller to check. found, when given, sees each element as soon as it is found, while its
// bytes are still in the cache: a large file's first elements are long out of it by the end.
[[nodiscard]] std::optional<std::vector<std::string_view>> splitSceneDocument(
    std::string_view text, const std::function<void(std::string_view)>& found = {});

// The SceneObjectGroup children of the root of a well-formed XML document whose root element
// is "scene", each the exact bytes from its "<" to its closing ">", in document order, whatever
// stands between them (text, comments, other elements, line breaks). Nothing when text is not
// such a document. Slower than splitSceneDocument and holding the parsed document for a while:
// for texts that the strict layout does not fit.
[[nodiscard]] std::optional<std::vector<std::string_view>> findSceneObjects(std::string_view text);

// Where needle first occurs in text at or after from, or npos. The search runs on needle's
// byte at rare, which should be one that seldom occurs in text: "<" comes every few bytes in
// a document, too often for a search that stops at each one to pay.
[[nodiscard]] std::size_t findByRareByte(std::string_view text, std::size_t from, std::string_view needle,
                                         std::size_t rare);

// The line of text (from 1) at which offset lies; CR LF, a lone CR and a lone LF each end a line.
[[nodiscard]] std::size_t lineNumberAt(std::string_view text, std::size_t offset);

}  // namespace vantor::extract
