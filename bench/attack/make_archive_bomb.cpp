// Writes region archives (gzip tar, with archive.xml) built to exhaust a reader that trusts
// them:
//   object FILE MIB         one object entry that unpacks to MIB MiB of text
//   sparse FILE MIB         one sparse object entry that says it holds MIB MiB, nearly all hole
//   many FILE COUNT KIB     COUNT objects of KIB KiB each, every one a valid object with a
//                           position, so that a reader keeps unpacking them all
// Highly repetitive text compresses about a thousand to one, so each file stays small.

#include "scene/object_layout.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

namespace {

using Writer = std::unique_ptr<archive, decltype(&archive_write_free)>;
using Entry = std::unique_ptr<archive_entry, decltype(&archive_entry_free)>;

Entry newEntry(const std::string& path, std::int64_t size)
{
    Entry entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname(entry.get(), path.c_str());
    archive_entry_set_size(entry.get(), size);
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    return entry;
}

bool writeWhole(archive* writer, const std::string& path, const std::string& content)
{
    Entry entry = newEntry(path, static_cast<std::int64_t>(content.size()));
    return archive_write_header(writer, entry.get()) == ARCHIVE_OK
        && archive_write_data(writer, content.data(), content.size()) == static_cast<la_ssize_t>(content.size());
}

// A valid object whose name is filler bytes long, its values where a converter's document
// has them (scene/object_layout.h), the serial number in place of the object's identifier.
std::string objectWithName(std::size_t filler, int serial)
{
    namespace scene = vantor::scene;
    constexpr std::size_t kIdentifier = scene::valueIndex("UUID/UUID");
    // The elements written by name below, in the layout's order.
    static_assert(scene::valueIndex("Material") == scene::value::kName + 1
                  && scene::valueIndex("RegionHandle") == scene::value::kName + 2
                  && scene::value::kPositionX == scene::value::kName + 3);
    std::string text = "<SceneObjectGroup><SceneObjectPart>";
    for (std::size_t k = 0; k < scene::value::kName; ++k) {
        text += "<V>" + std::to_string(k == kIdentifier ? serial : 0) + "</V>";
    }
    text += "<Name>" + std::string(filler, 'n') + "</Name><Material>3</Material><RegionHandle>0</RegionHandle>";
    text += "<GroupPosition><X>" + std::to_string(10 + serial % 230) + "</X><Y>128</Y><Z>25</Z></GroupPosition>";
    return text + "</SceneObjectPart><OtherParts /></SceneObjectGroup>";
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string kind = argc > 2 ? argv[1] : "";
    if ((kind != "object" && kind != "sparse" && kind != "many") || argc < 4 || (kind == "many" && argc < 5)) {
        std::cerr << "usage: make_archive_bomb object|sparse FILE MIB | make_archive_bomb many FILE COUNT KIB\n";
        return 2;
    }
    Writer writer(archive_write_new(), archive_write_free);
    archive_write_add_filter_gzip(writer.get());
    archive_write_set_filter_option(writer.get(), "gzip", "compression-level", "9");
    archive_write_set_format_pax_restricted(writer.get());
    if (archive_write_open_filename(writer.get(), argv[2]) != ARCHIVE_OK) {
        std::cerr << argv[2] << ": " << archive_error_string(writer.get()) << "\n";
        return 1;
    }
    bool ok = writeWhole(writer.get(), "archive.xml", "<archive major_version=\"0\" minor_version=\"8\" />");
    const std::int64_t mib = std::int64_t{std::atoll(argv[3])} << 20;
    if (kind == "object") {
        // One object: an opening tag, then a name of spaces to the size asked for.
        Entry entry = newEntry("objects/bomb.xml", mib);
        ok = ok && archive_write_header(writer.get(), entry.get()) == ARCHIVE_OK;
        const std::string head = "<SceneObjectGroup><SceneObjectPart><Name>";
        std::string block(std::size_t{1} << 20, ' ');
        block.replace(0, head.size(), head);
        for (std::int64_t done = 0; ok && done < mib; done += static_cast<std::int64_t>(block.size())) {
            ok = archive_write_data(writer.get(), block.data(), block.size()) == static_cast<la_ssize_t>(block.size());
            block.assign(block.size(), ' ');
        }
    } else if (kind == "sparse") {
        // All hole but its first and last bytes, each written as data.
        Entry entry = newEntry("objects/sparse.xml", mib);
        archive_entry_sparse_add_entry(entry.get(), 0, 512);
        archive_entry_sparse_add_entry(entry.get(), mib - 512, 512);
        ok = ok && archive_write_header(writer.get(), entry.get()) == ARCHIVE_OK;
        const std::string data(1024, 'x');
        ok = ok && archive_write_data(writer.get(), data.data(), data.size()) == static_cast<la_ssize_t>(data.size());
    } else {
        const long count = std::atol(argv[3]);
        const std::size_t kib = static_cast<std::size_t>(std::atol(argv[4])) << 10;
        for (long k = 0; ok && k < count; ++k) {
            ok = writeWhole(writer.get(), "objects/o" + std::to_string(k) + ".xml", objectWithName(kib, static_cast<int>(k)));
        }
    }
    if (!ok || archive_write_close(writer.get()) != ARCHIVE_OK) {
        std::cerr << argv[2] << ": " << archive_error_string(writer.get()) << "\n";
        return 1;
    }
    return 0;
}
