#pragma once

#include "platform/file_system.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct archive;

namespace vantor::archive {

// A gzip-compressed tar archive in GNU format, written into an output file as it goes. A name
// of 100 bytes or more gets a GNU long-name entry, never the USTAR prefix field or a PAX
// header: OpenSim's tar reader understands the first and silently loses entries that need
// the others. The first failure is kept: every later call returns false, and error() says
// what went wrong. The output file must outlive the writer; it is neither prepared nor
// committed here.
class GnuTarWriter {
public:
    // modified: the time every entry carries, in seconds since 1970 (UTC).
    GnuTarWriter(platform::OutputFile& out, std::int64_t modified);
    ~GnuTarWriter();

    GnuTarWriter(const GnuTarWriter&) = delete;
    GnuTarWriter& operator=(const GnuTarWriter&) = delete;

    // Begins a plain file entry that will hold exactly size bytes.
    [[nodiscard]] bool beginEntry(std::string_view path, std::uint64_t size);
    // Adds bytes to the entry begun last; more than its size is a failure.
    [[nodiscard]] bool writeData(std::string_view bytes);
    // Ends the entry begun last; fewer bytes than its size is a failure.
    [[nodiscard]] bool endEntry();
    // An entry with these bytes.
    [[nodiscard]] bool addEntry(std::string_view path, std::string_view bytes);
    // Ends the archive: the end blocks and what the compressor holds go to the output file.
    [[nodiscard]] bool close();

    [[nodiscard]] bool failed() const { return !m_error.empty(); }
    [[nodiscard]] const std::string& error() const { return m_error; }
    // The size still missing from the entry begun last.
    [[nodiscard]] std::uint64_t entryRemaining() const { return m_remaining; }

private:
    struct Free {
        void operator()(::archive* a) const;
    };

    struct Callbacks;  // what libarchive calls back, defined with the writer

    bool fail(std::string reason);
    bool failFromArchive(std::string_view what);

    platform::OutputFile& m_out;
    std::int64_t m_modified;
    std::unique_ptr<::archive, Free> m_archive;
    std::string m_error;
    std::uint64_t m_remaining = 0;
    bool m_inEntry = false;
    bool m_closed = false;
    bool m_discard = false;  // set when the writer goes away unclosed: nothing more reaches the file
};

}  // namespace vantor::archive
