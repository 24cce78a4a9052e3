#include "scene_archive.h"

#include "object_parts.h"

#include "text/text_codec.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace vantor::extract {

namespace {

// The object texts of an archive, kept in a few large blocks so that the views into them stay
// put while more are added, and memory stays about the size of the texts.
class TextBlocks {
public:
    // Room for size bytes that stay where they are; the block is filled by the caller.
    char* reserve(std::size_t size)
    {
        constexpr std::size_t kBlockSize = std::size_t{16} << 20;
        if (m_blocks.empty() || m_blocks.back().capacity - m_blocks.back().used < size) {
            const std::size_t capacity = std::max(kBlockSize, size);
            m_blocks.push_back(Block{std::make_unique_for_overwrite<char[]>(capacity), capacity, 0});
        }
        Block& block = m_blocks.back();
        char* at = block.bytes.get() + block.used;
        block.used += size;
        return at;
    }

    // Gives back the last size bytes reserved but not used.
    void giveBack(std::size_t size) { m_blocks.back().used -= size; }

private:
    struct Block {
        std::unique_ptr<char[]> bytes;
        std::size_t capacity = 0;
        std::size_t used = 0;
    };
    std::vector<Block> m_blocks;
};

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};

// Whether an entry's path names an object: objects/ (at any depth below it) and ".xml".
bool isObjectEntry(std::string_view path)
{
    if (path.starts_with("./")) path.remove_prefix(2);
    return path.starts_with("objects/") && path.size() > 12 && path.ends_with(".xml");
}

bool isControlFile(std::string_view path)
{
    if (path.starts_with("./")) path.remove_prefix(2);
    return path == "archive.xml";
}

bool isOarEnding(std::string_view ending)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return ending.size() == 4 && ending[0] == '.' && lower(ending[1]) == 'o' && lower(ending[2]) == 'a'
        && lower(ending[3]) == 'r';
}

std::string_view trimmed(std::string_view text)
{
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
}

SceneLoad notAnArchive(std::string reason)
{
    SceneLoad load;
    load.layout = SceneLayout::Archive;
    load.outcome = LoadOutcome::ReadError;
    load.readError = ReadError::NotAnArchive;
    load.reason = std::move(reason);
    return load;
}

// Places every object as a scene file's object is placed, up to a cut-off object or a read error.
void placeObjects(const std::vector<std::string_view>& objects, SceneLoad& load)
{
    std::unique_ptr<ObjectParts> parts = std::make_unique<ObjectParts>();
    for (std::size_t k = 0; k < objects.size(); ++k) {
        const std::string_view object = objects[k];
        const PositionValues values = scanPositionValues(object);
        std::optional<ObjectPosition> position;
        if (values.result != TokeniseResult::Stop) {
            if (positionReadsByIndex(object, values)) {
                position = readPosition(values);
            } else if (parts->parse(object)) {
                if (const auto xy = parts->position()) position = ObjectPosition{xy->first, xy->second};
            } else {
                position = readPosition(values);
            }
        }
        if (position) {
            load.positions.push_back(*position);
            continue;
        }
        load.objectNumber = k + 1;
        if (values.result == TokeniseResult::Stop) {
            load.outcome = LoadOutcome::StoppedAtCutOff;
            return;
        }
        load.outcome = LoadOutcome::ReadError;
        load.readError = values.valueCount < 24 ? ReadError::TooFewValues : ReadError::PositionNotANumber;
        return;
    }
}

}  // namespace

bool looksLikeArchive(std::string_view bytes)
{
    constexpr std::size_t kTarMagicAt = 257;
    return bytes.starts_with("\x1F\x8B") || bytes.substr(std::min(bytes.size(), kTarMagicAt), 5) == "ustar";
}

SceneLoad loadSceneArchive(std::string_view bytes, const MapGeometry& map)
{
    std::unique_ptr<archive, ArchiveCloser> reader(archive_read_new());
    if (!reader) return notAnArchive("out of memory");
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_memory(reader.get(), bytes.data(), bytes.size()) != ARCHIVE_OK) {
        return notAnArchive(archive_error_string(reader.get()));
    }
    auto texts = std::make_shared<TextBlocks>();
    std::vector<std::string_view> objects;
    bool controlFileSeen = false;
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
        const char* name = archive_entry_pathname(entry);
        const std::string_view path = name ? name : "";
        if (isControlFile(path)) controlFileSeen = true;
        if (archive_entry_filetype(entry) != AE_IFREG || !isObjectEntry(path)) continue;
        const auto declared = archive_entry_size(entry);
        if (declared < 0) return notAnArchive("an object entry has no size: " + std::string(path));
        const auto size = static_cast<std::size_t>(declared);
        char* at = texts->reserve(size);
        std::size_t got = 0;
        while (got < size) {
            const la_ssize_t read = archive_read_data(reader.get(), at + got, size - got);
            if (read < 0) return notAnArchive(archive_error_string(reader.get()));
            if (read == 0) break;
            got += static_cast<std::size_t>(read);
        }
        texts->giveBack(size - got);
        std::string_view text(at, got);
        if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
        if (!text::isValidUtf8(text)) {
            // An entry in the older Western code page: its UTF-8 form takes its place.
            const std::string decoded = text::decodeText(std::string(text));
            char* copy = texts->reserve(decoded.size());
            std::copy(decoded.begin(), decoded.end(), copy);
            text = std::string_view(copy, decoded.size());
        }
        text = trimmed(text);
        if (!text.empty()) objects.push_back(text);
    }
    if (status != ARCHIVE_EOF) return notAnArchive(archive_error_string(reader.get()));
    if (!controlFileSeen) return notAnArchive("it has no archive.xml, so it is no OpenSim archive");

    SceneLoad load;
    load.layout = SceneLayout::Archive;
    placeObjects(objects, load);
    if (load.outcome == LoadOutcome::ReadError) {
        load.positions.clear();
        return load;
    }
    load.markers.reserve(load.positions.size());
    for (const ObjectPosition& position : load.positions) load.markers.push_back(PlaceMarker(position, map));
    load.objects = ObjectLines(std::move(texts), std::move(objects));
    return load;
}

SceneLoad loadScenePath(const platform::FileSystem& files, const std::string& path, const MapGeometry& map)
{
    std::string reason;
    auto bytes = files.readShared(path, &reason);
    if (!bytes) return unreadableFile(std::move(reason));
    const bool archiveName = path.size() >= 4 && isOarEnding(std::string_view(path).substr(path.size() - 4));
    if (archiveName || looksLikeArchive(bytes->bytes)) return loadSceneArchive(bytes->bytes, map);
    return loadSceneBytes(std::move(*bytes), map);
}

}  // namespace vantor::extract
