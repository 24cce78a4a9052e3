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

}  // namespace vantor::test
