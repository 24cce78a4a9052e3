#pragma once

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vantor::test {

// A tar archive made in the test from the given entries, gzip-compressed unless told otherwise.
inline std::string makeArchive(const std::vector<std::pair<std::string, std::string>>& entries, bool compressed = true)
{
    std::string bytes(std::size_t{4} << 20, '\0');
    std::size_t used = 0;
    std::unique_ptr<archive, decltype(&archive_write_free)> writer(archive_write_new(), archive_write_free);
    if (compressed) archive_write_add_filter_gzip(writer.get());
    archive_write_set_format_pax_restricted(writer.get());
    EXPECT_EQ(archive_write_open_memory(writer.get(), bytes.data(), bytes.size(), &used), ARCHIVE_OK);
    for (const auto& [path, content] : entries) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(), archive_entry_free);
        archive_entry_set_pathname(entry.get(), path.c_str());
        archive_entry_set_size(entry.get(), static_cast<la_int64_t>(content.size()));
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        EXPECT_EQ(archive_write_header(writer.get(), entry.get()), ARCHIVE_OK);
        EXPECT_EQ(archive_write_data(writer.get(), content.data(), content.size()),
                  static_cast<la_ssize_t>(content.size()));
    }
    EXPECT_EQ(archive_write_close(writer.get()), ARCHIVE_OK);
    bytes.resize(used);
    return bytes;
}

// The entries of a (compressed) tar archive as libarchive reads them: path and bytes, in order.
inline std::vector<std::pair<std::string, std::string>> archiveEntries(const std::string& bytes)
{
    std::unique_ptr<archive, decltype(&archive_read_free)> reader(archive_read_new(), archive_read_free);
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    EXPECT_EQ(archive_read_open_memory(reader.get(), bytes.data(), bytes.size()), ARCHIVE_OK);
    std::vector<std::pair<std::string, std::string>> entries;
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        auto& [path, content] = entries.emplace_back(archive_entry_pathname(entry), std::string());
        content.resize(static_cast<std::size_t>(archive_entry_size(entry)));
        EXPECT_EQ(archive_read_data(reader.get(), content.data(), content.size()),
                  static_cast<la_ssize_t>(content.size()));
    }
    return entries;
}

}  // namespace vantor::test
