// The region file rewrite, in both formats: a rewrite changes nothing but the host. Every
// line keeps its line end; a changed line is the old one with one value replaced by the host
// (in double quotes in the older XML files, on one line only there); and rewriting the
// result with the same host gives it back unchanged.

#include "fuzz/fuzz_support.h"
#include "regions/region_hosts.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace vantor;
using fuzz::check;

const char* const vantor::fuzz::kTargetName = "region rewrite";

namespace {

constexpr std::array<std::string_view, 4> kHosts{"10.0.0.1", "127.0.0.1", "region.example.org", "a"};

// The text between line-end bytes, and those bytes, in order.
struct Pieces {
    std::vector<std::string_view> texts;
    std::string ends;
};

Pieces piecesOf(std::string_view text)
{
    Pieces pieces;
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        pieces.texts.push_back(text.substr(from, i - from));
        pieces.ends += text[i];
        from = i + 1;
    }
    pieces.texts.push_back(text.substr(from));
    return pieces;
}

// Whether changed is before with one stretch replaced by value: before = P + V + S and
// changed = P + value + S for some P, V and S.
bool replacesOneStretch(std::string_view before, std::string_view changed, std::string_view value)
{
    for (std::size_t at = changed.find(value); at != std::string_view::npos; at = changed.find(value, at + 1)) {
        const std::string_view suffix = changed.substr(at + value.size());
        if (before.substr(0, at) == changed.substr(0, at) && before.size() >= at + suffix.size()
            && before.ends_with(suffix)) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The last byte picks the host and the format; the whole input is the region file.
    const unsigned choice = size == 0 ? 0 : data[size - 1];
    const std::string_view host = kHosts[choice % kHosts.size()];
    const bool ini = (choice & 0x10) != 0;
    const auto format = ini ? regions::RegionFileFormat::Ini : regions::RegionFileFormat::Xml;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const regions::RegionTextRewrite rewrite = regions::rewriteRegionText(bytes, host, format);
    if (rewrite.outcome != regions::RegionFileOutcome::Rewritten) {
        check(rewrite.bytes.empty(), "a file left alone gives no new content");
        return 0;
    }
    check(rewrite.reason == regions::SkipReason::None, "a rewritten file has no skip reason");

    const Pieces before = piecesOf(bytes);
    const Pieces after = piecesOf(rewrite.bytes);
    check(before.ends == after.ends, "every line keeps its line end");
    const std::string value = ini ? std::string(host) : "\"" + std::string(host) + "\"";
    std::size_t changed = 0;
    for (std::size_t i = 0; i < before.texts.size(); ++i) {
        if (before.texts[i] == after.texts[i]) continue;
        ++changed;
        check(replacesOneStretch(before.texts[i], after.texts[i], value), "a changed line differs only in the host");
    }
    if (!ini) check(changed <= 1, "an older region file changes on one line");

    const regions::RegionTextRewrite again = regions::rewriteRegionText(rewrite.bytes, host, format);
    check(again.outcome == regions::RegionFileOutcome::Rewritten && again.bytes == rewrite.bytes,
          "announcing the same host again changes nothing");
    return 0;
}
