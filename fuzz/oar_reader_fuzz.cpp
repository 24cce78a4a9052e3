// The OpenSim archive reader. The input is read as an archive (gzip-compressed or plain tar).
// Bytes that are no such archive must be refused with a reason and nothing kept. Otherwise
// the table must hold, in archive order, the text of every non-empty objects/*.xml entry, as
// a second reading of the same bytes with libarchive finds it (byte-order mark and
// surrounding blanks and NUL bytes left out, Windows-1252 text decoded), and the markers must be one per
// entry up to a cut-off entry, each where its position puts it.

#include "fuzz/fuzz_support.h"
#include "fuzz/marker_checks.h"
#include "extract/scene_archive.h"

#include "text/text_codec.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace vantor;
using fuzz::check;

const char* const vantor::fuzz::kTargetName = "OAR reader";

namespace {

std::string_view withoutPrefix(std::string_view path)
{
    if (path.starts_with("./")) path.remove_prefix(2);
    return path;
}

std::string trimmed(std::string text)
{
    constexpr std::string_view kBlanks{" \t\r\n\0", 5};  // NUL padding too
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
}

// The object texts of the archive as a plain libarchive reading finds them; nothing when
// the bytes are no readable archive with an archive.xml.
std::optional<std::vector<std::string>> objectTexts(std::string_view bytes)
{
    std::unique_ptr<archive, decltype(&archive_read_free)> reader(archive_read_new(), archive_read_free);
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_memory(reader.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) return std::nullopt;
    std::vector<std::string> texts;
    bool controlFile = false;
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
        const char* name = archive_entry_pathname(entry);
        const std::string_view path = withoutPrefix(name ? name : "");
        controlFile = controlFile || path == "archive.xml";
        if (archive_entry_filetype(entry) != AE_IFREG || !path.starts_with("objects/") || !path.ends_with(".xml")
            || path.size() <= 12) {
            continue;
        }
        if (archive_entry_size(entry) < 0) return std::nullopt;
        std::string text;
        char buffer[4096];
        la_ssize_t got = 0;
        while ((got = archive_read_data(reader.get(), buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        }
        if (got < 0) return std::nullopt;
        if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
        if (!text::isValidUtf8(text)) text = text::decodeText(std::move(text));
        text = trimmed(std::move(text));
        if (!text.empty()) texts.push_back(std::move(text));
    }
    if (status != ARCHIVE_EOF || !controlFile) return std::nullopt;
    return texts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const extract::MapGeometry map{size % 5 == 0 ? 2048.0f : extract::kDesignMapWidth};
    const extract::SceneLoad load = extract::loadSceneArchive(bytes, map);
    check(load.layout == extract::SceneLayout::Archive, "an archive load says so");
    const auto failedWith = [&load](extract::LoadError error) { return load.failure && load.failure->error == error; };
    if (failedWith(extract::LoadError::ObjectTooLarge)) {
        // A bomb: refused before its object is read whole (which the second reading would do).
        check(withoutPrefix(load.failure->reason).starts_with("objects/"), "a refused bomb names its object");
        check(load.objects.empty() && load.markers.empty(), "a refused bomb keeps nothing");
        return 0;
    }
    const auto texts = objectTexts(bytes);

    if (failedWith(extract::LoadError::NotAnArchive)) {
        check(!load.failure->reason.empty(), "a refused archive says why");
        check(load.objects.empty() && load.markers.empty(), "a refused archive keeps nothing");
        check(!texts, "an archive that reads is not refused");
        return 0;
    }
    check(texts.has_value(), "what is no archive is refused");
    if (!load) {
        const extract::LoadFailure& failure = *load.failure;
        check(failure.error == extract::LoadError::TooFewValues || failure.error == extract::LoadError::PositionNotANumber,
              "an archive that reads fails only on its objects");
        check(load.objects.empty() && load.markers.empty() && load.positions.empty(), "a read error keeps nothing");
        check(failure.place.objectNumber >= 1 && failure.place.objectNumber <= texts->size(),
              "a read error names its object");
        return 0;
    }

    check(load.objects.size() == texts->size(), "one entry per non-empty object file");
    for (std::size_t k = 0; k < texts->size(); ++k) {
        check(load.objects[k] == (*texts)[k], "each entry is its object file's text");
    }
    fuzz::checkMarkers(load, map);
    return 0;
}
