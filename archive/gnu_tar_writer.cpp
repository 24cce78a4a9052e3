#include "gnu_tar_writer.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <exception>
#include <limits>
#include <new>
#include <utility>

namespace vantor::archive {

struct GnuTarWriter::Callbacks {
    // Hands a block of the compressed archive to the output file. Nothing may be thrown
    // through the library, so what the file throws becomes the archive's error.
    static la_ssize_t write(::archive* a, void* self, const void* buffer, std::size_t length)
    {
        auto& writer = *static_cast<GnuTarWriter*>(self);
        if (writer.m_discard) return static_cast<la_ssize_t>(length);
        try {
            writer.m_out.write(std::string_view(static_cast<const char*>(buffer), length));
        } catch (const std::bad_alloc&) {
            archive_set_error(a, ENOMEM, "out of memory");
            return -1;
        } catch (const std::exception& e) {
            archive_set_error(a, EIO, "%s", e.what());
            return -1;
        }
        return static_cast<la_ssize_t>(length);
    }
};

void GnuTarWriter::Free::operator()(::archive* a) const
{
    archive_write_free(a);
}

GnuTarWriter::GnuTarWriter(platform::OutputFile& out, std::int64_t modified) : m_out(out), m_modified(modified)
{
    m_archive.reset(archive_write_new());
    if (!m_archive) {
        fail("out of memory");
        return;
    }
    ::archive* a = m_archive.get();
    // Anything but OK means no built-in compressor: the library would run an outside program.
    if (archive_write_add_filter_gzip(a) != ARCHIVE_OK) {
        failFromArchive("gzip compression");
        return;
    }
    // Without the time in the gzip header the same entries give the same bytes.
    if (archive_write_set_filter_option(a, "gzip", "timestamp", nullptr) != ARCHIVE_OK
        || archive_write_set_format_gnutar(a) != ARCHIVE_OK
        // No padding after the compressed stream: gzip readers see it as trailing garbage.
        || archive_write_set_bytes_in_last_block(a, 1) != ARCHIVE_OK
        || archive_write_open(a, this, nullptr, &Callbacks::write, nullptr) != ARCHIVE_OK) {
        failFromArchive("starting the archive");
    }
}

GnuTarWriter::~GnuTarWriter()
{
    // Freeing an open archive closes it: its end must not reach a file the caller drops.
    if (!m_closed) m_discard = true;
    m_archive.reset();  // while the members its callback reads are still there
}

bool GnuTarWriter::beginEntry(std::string_view path, std::uint64_t size)
{
    if (failed()) return false;
    if (m_inEntry) return fail("an entry began before the last one ended");
    if (path.empty() || path.find('\0') != std::string_view::npos) return fail("an entry name that is empty or holds a NUL byte");
    if (size > static_cast<std::uint64_t>(std::numeric_limits<la_int64_t>::max())) return fail("an entry too large for tar");
    std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new2(m_archive.get()),
                                                                         archive_entry_free);
    if (!entry) return fail("out of memory");
    const std::string name(path);
    archive_entry_set_pathname(entry.get(), name.c_str());
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(size));
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_mtime(entry.get(), static_cast<time_t>(m_modified), 0);
    if (archive_write_header(m_archive.get(), entry.get()) != ARCHIVE_OK) return failFromArchive("the entry " + name);
    m_inEntry = true;
    m_remaining = size;
    return true;
}

bool GnuTarWriter::writeData(std::string_view bytes)
{
    if (failed()) return false;
    if (!m_inEntry) return fail("data outside an entry");
    if (bytes.size() > m_remaining) return fail("more bytes than the entry's size");
    while (!bytes.empty()) {
        const la_ssize_t written = archive_write_data(m_archive.get(), bytes.data(), bytes.size());
        if (written <= 0) return failFromArchive("writing an entry");
        bytes.remove_prefix(static_cast<std::size_t>(written));
        m_remaining -= static_cast<std::uint64_t>(written);
    }
    return true;
}

bool GnuTarWriter::endEntry()
{
    if (failed()) return false;
    if (!m_inEntry) return fail("an entry ended that never began");
    if (m_remaining != 0) return fail("fewer bytes than the entry's size");
    m_inEntry = false;
    if (archive_write_finish_entry(m_archive.get()) != ARCHIVE_OK) return failFromArchive("ending an entry");
    return true;
}

bool GnuTarWriter::addEntry(std::string_view path, std::string_view bytes)
{
    return beginEntry(path, bytes.size()) && writeData(bytes) && endEntry();
}

bool GnuTarWriter::close()
{
    if (failed()) return false;
    if (m_inEntry) return fail("the archive ended inside an entry");
    m_closed = true;
    if (archive_write_close(m_archive.get()) != ARCHIVE_OK) return failFromArchive("ending the archive");
    return true;
}

bool GnuTarWriter::fail(std::string reason)
{
    if (m_error.empty()) m_error = std::move(reason);
    return false;
}

bool GnuTarWriter::failFromArchive(std::string_view what)
{
    const char* detail = m_archive ? archive_error_string(m_archive.get()) : nullptr;
    return fail(std::string(what) + ": " + (detail && *detail ? detail : "the archive library failed"));
}

}  // namespace vantor::archive
