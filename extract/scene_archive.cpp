#include "scene_archive.h"

#include "object_parts.h"

#include "scene/object_layout.h"
#include "text/text_codec.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantor::extract {

namespace {

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};

using ArchiveReader = std::unique_ptr<archive, ArchiveCloser>;

// A reader of tar archives, gzip-compressed or plain, not yet opened; null when memory ran out.
// Loading an archive and copying its assets read the same forms.
ArchiveReader tarReader()
{
    ArchiveReader reader(archive_read_new());
    if (!reader) return reader;
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    return reader;
}

// Why the reader failed, in its words; some failures (a compressed stream that holds no
// archive at all) come without any.
std::string archiveError(archive* reader)
{
    const char* error = archive_error_string(reader);
    return error && *error ? std::string(error) : std::string("it holds no readable tar archive");
}

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

std::string_view trimmed(std::string_view text)
{
    // NUL bytes too: padding that some writers leave after an object's text.
    constexpr std::string_view kBlanks{" \t\r\n\0", 5};
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) + 1 - first);
}

// A load of an archive that failed with error.
SceneLoad archiveFailed(LoadError error, std::string reason = {})
{
    SceneLoad load = failedLoad(error, std::move(reason));
    load.layout = SceneLayout::Archive;
    return load;
}

SceneLoad notAnArchive(std::string reason)
{
    return archiveFailed(LoadError::NotAnArchive, std::move(reason));
}

// Places the objects one by one as they are unpacked, as a scene file's objects are placed:
// each gets its position until a cut-off object or one without a position ends the placing.
class ObjectPlacer {
public:
    explicit ObjectPlacer(SceneLoad& load) : m_load(load) {}

    void place(std::string_view object)
    {
        ++m_count;
        if (m_load.cutOff || m_load.failure) return;
        const PositionValues values = scanPositionValues(object);
        std::optional<ObjectPosition> position;
        if (values.result != TokeniseResult::Stop) {
            if (positionReadsByIndex(object, values)) {
                position = readPosition(values);
            } else if (m_parts->parse(object)) {
                if (const auto xy = m_parts->position()) position = ObjectPosition{xy->first, xy->second};
            } else {
                position = readPosition(values);
            }
        }
        if (position) {
            m_load.positions.push_back(*position);
            return;
        }
        const ObjectPlace place{0, m_count};
        if (values.result == TokeniseResult::Stop) {
            m_load.cutOff = place;
            return;
        }
        const LoadError error =
            values.valueCount < scene::kPositionValueCount ? LoadError::TooFewValues : LoadError::PositionNotANumber;
        m_load.failure = LoadFailure{error, place, {}};
    }

private:
    SceneLoad& m_load;
    std::unique_ptr<ObjectParts> m_parts = std::make_unique<ObjectParts>();
    std::size_t m_count = 0;
};

enum class EntryRead { Whole, TooLarge, Failed };

// Reads the current entry's data into text, up to kLargestObjectBytes whatever size its
// header gives: a piece at a time, so a bomb is found before it fills memory.
EntryRead readEntryData(archive* reader, la_int64_t declared, std::string& text)
{
    text.clear();
    text.reserve(static_cast<std::size_t>(std::min<la_int64_t>(declared, kLargestObjectBytes)));
    char block[1 << 16];
    for (;;) {
        const la_ssize_t read = archive_read_data(reader, block, sizeof block);
        if (read < 0) return EntryRead::Failed;
        if (read == 0) return EntryRead::Whole;
        if (static_cast<std::size_t>(read) > kLargestObjectBytes - text.size()) return EntryRead::TooLarge;
        text.append(block, static_cast<std::size_t>(read));
    }
}

// Hands the archive reader the stream's bytes a block at a time.
class StreamSource {
public:
    explicit StreamSource(platform::InputStream& stream) : m_stream(stream) {}

    static la_ssize_t read(archive* reader, void* self, const void** buffer)
    {
        auto& source = *static_cast<StreamSource*>(self);
        std::string reason;
        const auto got = source.m_stream.read(source.m_block, sizeof source.m_block, &reason);
        if (!got) {
            archive_set_error(reader, EIO, "%s", reason.c_str());
            return -1;
        }
        *buffer = source.m_block;
        return static_cast<la_ssize_t>(*got);
    }

private:
    platform::InputStream& m_stream;
    char m_block[1 << 16];
};

// A stream over bytes that someone else holds.
class ViewStream final : public platform::InputStream {
public:
    explicit ViewStream(std::string_view bytes) : m_bytes(bytes) {}
    std::optional<std::size_t> read(char* into, std::size_t size, std::string* /*reason*/) override
    {
        const std::size_t count = std::min(size, m_bytes.size());
        std::copy_n(m_bytes.data(), count, into);
        m_bytes.remove_prefix(count);
        return count;
    }

private:
    std::string_view m_bytes;
};

// The first bytes of the file at path, enough to tell an archive; nothing when it cannot be read.
std::optional<std::string> firstBytes(const platform::FileSystem& files, const std::string& path, std::string* reason)
{
    auto stream = files.openStream(path, reason);
    if (!stream) return std::nullopt;
    std::string bytes(512, '\0');
    std::size_t have = 0;
    while (have < bytes.size()) {
        const auto got = stream->read(bytes.data() + have, bytes.size() - have, reason);
        if (!got) return std::nullopt;
        if (*got == 0) break;
        have += *got;
    }
    bytes.resize(have);
    return bytes;
}

// Whether the file at path is read as an archive: by its name, else by its first bytes;
// nothing (and the reason) when those cannot be read.
std::optional<bool> archiveByNameOrBytes(const platform::FileSystem& files, const std::string& path, std::string* reason)
{
    if (isArchiveName(path)) return true;
    const auto first = firstBytes(files, path, reason);
    if (!first) return std::nullopt;
    return looksLikeArchive(*first);
}

// The bytes of the entry the reader stands at, as a stream.
class EntryStream final : public platform::InputStream {
public:
    explicit EntryStream(archive* reader) : m_reader(reader) {}
    std::optional<std::size_t> read(char* into, std::size_t size, std::string* reason) override
    {
        const la_ssize_t got = archive_read_data(m_reader, into, size);
        if (got < 0) {
            if (reason) *reason = archiveError(m_reader);
            return std::nullopt;
        }
        return static_cast<std::size_t>(got);
    }

private:
    archive* m_reader;
};

}  // namespace

bool readsAsArchive(const platform::FileSystem& files, const std::string& path)
{
    std::string reason;
    return archiveByNameOrBytes(files, path, &reason).value_or(false);
}

std::optional<std::string> readArchiveEntries(platform::InputStream& stream,
                                              const std::function<bool(ArchiveEntry&)>& onEntry)
{
    auto source = std::make_unique<StreamSource>(stream);
    const ArchiveReader reader = tarReader();
    if (!reader) return std::string("out of memory");
    if (archive_read_open(reader.get(), source.get(), nullptr, &StreamSource::read, nullptr) != ARCHIVE_OK) {
        return archiveError(reader.get());
    }
    EntryStream bytes(reader.get());
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    while ((status = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
        if (archive_entry_filetype(entry) != AE_IFREG) continue;
        const char* name = archive_entry_pathname(entry);
        const la_int64_t size = archive_entry_size(entry);
        ArchiveEntry visited{name ? name : "", size > 0 ? static_cast<std::uint64_t>(size) : 0, bytes};
        if (!onEntry(visited)) return std::nullopt;
    }
    if (status != ARCHIVE_EOF) return archiveError(reader.get());
    return std::nullopt;
}

bool isArchiveName(std::string_view path)
{
    if (path.size() < 4) return false;
    const std::string_view ending = path.substr(path.size() - 4);
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return ending[0] == '.' && lower(ending[1]) == 'o' && lower(ending[2]) == 'a' && lower(ending[3]) == 'r';
}

bool looksLikeArchive(std::string_view bytes)
{
    constexpr std::size_t kTarMagicAt = 257;
    return bytes.starts_with("\x1F\x8B") || bytes.substr(std::min(bytes.size(), kTarMagicAt), 5) == "ustar";
}

SceneLoad loadSceneArchive(platform::InputStream& stream, const MapGeometry& map,
                           std::unique_ptr<platform::ScratchFile> scratch)
{
    // The source outlives the reader, which may read from it until it is freed.
    auto source = std::make_unique<StreamSource>(stream);
    const ArchiveReader reader = tarReader();
    if (!reader) return notAnArchive("out of memory");
    if (archive_read_open(reader.get(), source.get(), nullptr, &StreamSource::read, nullptr) != ARCHIVE_OK) {
        if (stream.changed()) return archiveFailed(LoadError::FileChanged);
        return notAnArchive(archiveError(reader.get()));
    }
    if (!scratch) scratch = std::make_unique<platform::MemoryScratchFile>();

    // Each object is placed while its text is at hand, then goes to the scratch file; the
    // table's views into the scratch file's block are made once every object is there, and
    // until an export reads them the texts need no memory.
    SceneLoad load;
    load.layout = SceneLayout::Archive;
    ObjectPlacer placer(load);
    std::vector<std::pair<std::size_t, std::size_t>> spans;  // where each object sits in the scratch file
    std::size_t scratchSize = 0;
    std::string entryText;
    bool controlFileSeen = false;
    archive_entry* entry = nullptr;
    int status = ARCHIVE_OK;
    const auto archiveFailure = [&] {
        if (stream.changed()) return archiveFailed(LoadError::FileChanged);
        return notAnArchive(archiveError(reader.get()));
    };
    while ((status = archive_read_next_header(reader.get(), &entry)) == ARCHIVE_OK) {
        const char* name = archive_entry_pathname(entry);
        const std::string_view path = name ? name : "";
        if (isControlFile(path)) controlFileSeen = true;
        if (archive_entry_filetype(entry) != AE_IFREG || !isObjectEntry(path)) continue;
        // After a read error only the archive itself is still checked.
        if (load.failure) continue;
        if (archive_entry_size(entry) < 0) return notAnArchive("an object entry has no size: " + std::string(path));
        if (archive_entry_size(entry) > static_cast<la_int64_t>(kLargestObjectBytes)) {
            return archiveFailed(LoadError::ObjectTooLarge, std::string(path));
        }
        switch (readEntryData(reader.get(), archive_entry_size(entry), entryText)) {
        case EntryRead::Whole:
            break;
        case EntryRead::TooLarge:
            return archiveFailed(LoadError::ObjectTooLarge, std::string(path));
        case EntryRead::Failed:
            return archiveFailure();
        }
        std::string_view text = entryText;
        if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
        std::string decoded;
        if (!text::isValidUtf8(text)) {
            // An entry in the older Western code page: its UTF-8 form takes its place.
            decoded = text::decodeText(std::string(text));
            text = decoded;
        }
        text = trimmed(text);
        if (text.empty()) continue;
        placer.place(text);
        if (!scratch->append(text)) return archiveFailed(LoadError::NoScratchRoom, scratch->folder());
        spans.emplace_back(scratchSize, text.size());
        scratchSize += text.size();
    }
    if (status != ARCHIVE_EOF) return archiveFailure();
    if (stream.changed()) return archiveFailed(LoadError::FileChanged);
    if (!controlFileSeen) return notAnArchive("it has no archive.xml, so it is no OpenSim archive");
    if (load.failure) {
        load.positions.clear();
        return load;
    }

    std::string reason;
    auto texts = scratch->finish(&reason);
    if (!texts) return unreadableFile("its objects cannot be unpacked to a scratch file: " + reason);
    std::vector<std::string_view> objects;
    objects.reserve(spans.size());
    for (const auto& [offset, size] : spans) objects.push_back(texts->bytes.substr(offset, size));
    load.markers.reserve(load.positions.size());
    for (const ObjectPosition& position : load.positions) load.markers.push_back(placeMarker(position, map));
    load.objects = ObjectLines(*texts, std::move(objects));
    return load;
}

SceneLoad loadSceneArchive(std::string_view bytes, const MapGeometry& map, std::unique_ptr<platform::ScratchFile> scratch)
{
    ViewStream stream(bytes);
    return loadSceneArchive(stream, map, std::move(scratch));
}

SceneLoad loadScenePath(const platform::FileSystem& files, const std::string& path, const MapGeometry& map)
{
    try {
        std::string reason;
        const auto asArchive = archiveByNameOrBytes(files, path, &reason);
        if (!asArchive) return unreadableFile(std::move(reason));
        if (*asArchive) {
            auto stream = files.openStream(path, &reason);
            if (!stream) return unreadableFile(std::move(reason));
            auto scratch = files.scratch(&reason);
            if (!scratch) return unreadableFile("its objects cannot be unpacked to a scratch file: " + reason);
            return loadSceneArchive(*stream, map, std::move(scratch));
        }
        auto bytes = files.readShared(path, &reason);
        if (!bytes) return unreadableFile(std::move(reason));
        return loadSceneBytes(std::move(*bytes), map);
    } catch (const std::bad_alloc&) {
        return failedLoad(LoadError::OutOfMemory);
    }
}

}  // namespace vantor::extract
