// The scene load: line reading, the reading of a scene document's structure, the tokeniser
// and the reading of positions by element name. The input is a scene file's bytes, loaded
// both as a file's shared block and as a text; the two loads must agree. The table's entries
// must be exact byte ranges of the text read (the input itself when it is UTF-8), in order:
// read line by line, exactly the lines of more than 10 characters; read as a document, whole
// SceneObjectGroup elements. Markers: one per entry up to a cut-off entry, each where its
// position puts it; an entry that is a well-formed element stands at its root part's
// GroupPosition as an XML reader finds it. And the tokeniser, its fast paths and the cut-off
// test must agree with the plain reading of "the texts between each > and the next <" on
// every entry.

#include "fuzz/fuzz_support.h"
#include "fuzz/marker_checks.h"
#include "extract/scene_load.h"
#include "scene/object_layout.h"

#include "text/text_codec.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

using namespace vantor;
using fuzz::check;

const char* const vantor::fuzz::kTargetName = "scene load";

namespace {

// The lines of text, cut at CR LF, a lone CR and a lone LF, as views into text.
std::vector<std::string_view> linesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::size_t characterCount(std::string_view utf8)
{
    std::size_t count = 0;
    for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// The values of a line read the plain way: for each ">", the text up to the next "<" when it
// is not empty; a ">" with no "<" after it ends the reading.
extract::ValueList plainValues(std::string_view line)
{
    extract::ValueList values;
    for (std::size_t p = line.find('>'); p != std::string_view::npos; p = line.find('>', p + 1)) {
        const std::size_t close = line.find('<', p + 1);
        if (close == std::string_view::npos) break;
        if (close > p + 1) values.push_back(line.substr(p + 1, close - p - 1));
    }
    return values;
}

bool plainCutOff(std::string_view line)
{
    const std::size_t last = line.rfind('>');
    return line.find('<', last == std::string_view::npos ? 0 : last + 1) != std::string_view::npos;
}

void checkTokeniser(std::string_view line)
{
    extract::ValueList values;
    const extract::TokeniseResult result = extract::tokeniseObjectLine(line, values);
    const bool cutOff = plainCutOff(line);
    check(values == plainValues(line), "the tokeniser reads the texts between each > and the next <");
    check((result == extract::TokeniseResult::Stop) == cutOff, "the tokeniser stops exactly at a cut-off line");
    check(extract::isCutOffLine(line) == cutOff, "isCutOffLine sees the cut-off tag");

    extract::ValueList first;
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{24}, std::size_t{73}}) {
        check(extract::tokeniseFirstValues(line, first, count) == result, "the first values end alike");
        const std::size_t kept = std::min(count, values.size());
        check(first.size() == kept && std::equal(first.begin(), first.end(), values.begin()),
              "the first values are the tokeniser's first values");
    }

    const extract::PositionValues scan = extract::scanPositionValues(line);
    check(scan.result == result, "the position scan ends as the tokeniser does");
    check(scan.valueCount == std::min<std::size_t>(values.size(), 24), "the position scan counts the values");
    const auto valueAt = [&values](std::size_t k) { return k < values.size() ? values[k] : std::string_view{}; };
    check(scan.x == valueAt(scene::value::kPositionX), "the position scan finds the position's X");
    check(scan.y == valueAt(scene::value::kPositionY), "the position scan finds the position's Y");
}

bool within(std::string_view part, std::string_view whole)
{
    const auto address = [](const char* p) { return reinterpret_cast<std::uintptr_t>(p); };
    return address(part.data()) >= address(whole.data())
        && address(part.data()) + part.size() <= address(whole.data()) + whole.size();
}

// The number a whole text spells, as from_chars reads it; nothing for anything else.
std::optional<double> plainNumber(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// The by-name reading: an entry that is one well-formed SceneObjectGroup element whose root
// part (its first SceneObjectPart) has a GroupPosition with plain numbers as X and Y is
// placed at exactly that position.
void checkPositionByName(std::string_view entry, const extract::ObjectPosition& position)
{
    pugi::xml_document document;
    if (!document.load_buffer(entry.data(), entry.size())) return;
    // Text beside the element (even a lone soft hyphen before it), which the parser drops at
    // the document's level, makes the entry more than one element: the by-name reading
    // rightly leaves it to the index reading.
    const std::size_t first = entry.find_first_not_of(" \t\r\n");
    const std::size_t last = entry.find_last_not_of(" \t\r\n");
    if (first == std::string_view::npos || entry[first] != '<' || entry[last] != '>') return;
    const pugi::xml_node group = document.document_element();
    if (std::string_view(group.name()) != "SceneObjectGroup") return;
    const pugi::xml_node groupPosition = group.child("SceneObjectPart").child("GroupPosition");
    const auto x = plainNumber(groupPosition.child_value("X"));
    const auto y = plainNumber(groupPosition.child_value("Y"));
    if (!x || !y) return;
    check(position == extract::ObjectPosition{*x, *y}, "an object stands at its root part's GroupPosition");
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The checks of one load of text (the decoded input); inBlock: the entries must point into it.
void checkLoad(const extract::SceneLoad& load, std::string_view text, bool inBlock, const extract::MapGeometry& map)
{
    check(load.layout != extract::SceneLayout::Archive, "a text is no archive");
    if (!load) {
        const extract::LoadFailure& failure = *load.failure;
        check(failure.error == extract::LoadError::TooFewValues || failure.error == extract::LoadError::PositionNotANumber,
              "a text load fails only on its objects");
        check(load.objects.empty() && load.markers.empty() && load.positions.empty(), "a read error keeps nothing");
        check(failure.place.objectNumber >= 1 && failure.place.lineNumber >= 1, "a read error names its object and line");
        check(failure.place.lineNumber <= linesOf(text).size() + 1, "a read error's line is in the file");
        return;
    }

    // Markers: one per entry up to the cut-off entry, each where its position puts it.
    fuzz::checkMarkers(load, map);
    for (std::size_t k = 0; k < load.positions.size() && k < load.objects.size(); ++k) {
        checkPositionByName(load.objects[k], load.positions[k]);
    }

    // The entries: exact byte ranges of the text, in order, without overlap.
    const char* previousEnd = text.data();
    for (const std::string_view entry : load.objects) {
        if (inBlock) check(within(entry, text), "an entry lies in the file's block");
        const std::size_t at = text.find(entry, static_cast<std::size_t>(previousEnd - text.data()));
        check(at != std::string_view::npos, "the entries are byte ranges of the text, in order");
        if (inBlock) check(entry.data() >= previousEnd, "the entries follow each other");
        previousEnd = inBlock ? entry.data() + entry.size() : text.data() + at + entry.size();
    }
    if (load.layout == extract::SceneLayout::Lines) {
        std::vector<std::string_view> expected;
        for (const std::string_view line : linesOf(text)) {
            if (characterCount(line) > 10) expected.push_back(line);
        }
        check(expected.size() == load.objects.size(), "the table holds every line of more than 10 characters");
        for (std::size_t k = 0; k < expected.size(); ++k) {
            check(expected[k] == load.objects[k], "each entry is its line unchanged");
        }
    } else {
        for (std::string_view entry : load.objects) {
            check(entry.starts_with("<SceneObjectGroup") && entry.ends_with(">"), "a document entry is one element");
            entry.remove_suffix(1);
            while (!entry.empty() && isBlank(entry.back())) entry.remove_suffix(1);
            check(entry.ends_with("</SceneObjectGroup"), "a document entry ends with its closing tag");
        }
    }

    constexpr std::size_t kLongestTokenised = std::size_t{1} << 16;
    for (const std::string_view entry : load.objects) {
        if (entry.size() <= kLongestTokenised) checkTokeniser(entry);
    }
}

bool sameLoad(const extract::SceneLoad& a, const extract::SceneLoad& b)
{
    if (a.layout != b.layout || a.markers != b.markers || a.positions != b.positions
        || a.objects.size() != b.objects.size() || a.cutOff != b.cutOff || a.failure.has_value() != b.failure.has_value()) {
        return false;
    }
    if (a.failure && (a.failure->error != b.failure->error || a.failure->place != b.failure->place)) return false;
    for (std::size_t k = 0; k < a.objects.size(); ++k) {
        if (a.objects[k] != b.objects[k]) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    // A map of another width now and then, so that scale and placing are not one fixed case.
    const extract::MapGeometry map{size % 7 == 0 ? 4096.0f : extract::kDesignMapWidth};

    // NUL bytes at the end are padding, read as if they were not there.
    const std::size_t last = raw.find_last_not_of('\0');
    const std::string_view input = raw.substr(0, last == std::string_view::npos ? 0 : last + 1);
    // Valid UTF-8 without a byte-order mark is read where it lies; anything else decoded first.
    const bool keptAsItIs = !input.starts_with("\xEF\xBB\xBF") && text::isValidUtf8(input);
    const std::string decoded = keptAsItIs ? std::string() : text::decodeText(std::string(input));
    const std::string_view text = keptAsItIs ? input : std::string_view(decoded);

    auto block = std::make_shared<const std::string>(raw);
    const extract::SceneLoad fromBytes = extract::loadSceneBytes(platform::SharedBytes{block, *block, {}, {}}, map);
    checkLoad(fromBytes, keptAsItIs ? std::string_view(*block).substr(0, input.size()) : text, keptAsItIs, map);

    const extract::SceneLoad fromText = extract::loadSceneText(std::string(raw), map);
    checkLoad(fromText, text, false, map);
    check(sameLoad(fromBytes, fromText), "a file's block and its text load alike");
    return 0;
}
