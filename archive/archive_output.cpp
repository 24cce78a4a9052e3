#include "archive_output.h"

#include <utility>

namespace vantor::archive {

ArchiveOutputFile::ArchiveOutputFile(std::unique_ptr<platform::OutputFile> out, const ArchiveOptions& options)
    : m_out(std::move(out)), m_writer(*m_out, options)
{
}

ArchiveOutputFile::~ArchiveOutputFile() = default;

void ArchiveOutputFile::write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const auto end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (m_longLine == 0 && m_line.size() + piece.size() > kLargestObjectBytes + 1) {
            m_longLine = m_line.size();
            m_line.clear();
            m_line.shrink_to_fit();
        }
        if (m_longLine != 0) {
            m_longLine += piece.size();
            if (end == std::string_view::npos) return;
            if (!piece.empty() && piece.back() == '\r') --m_longLine;
            if (m_failure.empty() && !m_writer.report().failure) {
                m_failure = "object " + std::to_string(m_writer.report().objectCount + 1) +
                            " would stop OpenSim's load of the whole archive: " + std::to_string(m_longLine) +
                            " bytes, more than the " + std::to_string(kLargestObjectBytes) + " an object may hold";
            }
            m_longLine = 0;
        } else if (end == std::string_view::npos) {
            m_line.append(piece);
            return;
        } else if (m_line.empty()) {
            addLine(piece);
        } else {
            m_line.append(piece);
            addLine(m_line);
            m_line.clear();
        }
        bytes.remove_prefix(end + 1);
    }
}

void ArchiveOutputFile::addLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return;
    const auto last = line.find_last_not_of(" \t\r");
    const std::string_view content = line.substr(first, last + 1 - first);
    if (content == "<scene>" || content == "</scene>") return;
    if (m_writer.report().failure || !m_failure.empty()) return;
    ArchiveObject object{line, describeObject(line).value_or(ObjectIdentity{})};
    (void)m_writer.addObject(object);
}

bool ArchiveOutputFile::finish(std::string* reason)
{
    if (!m_finished) {
        m_finished = true;
        if (m_longLine != 0) {
            write("\n");
        } else if (!m_line.empty()) {
            addLine(m_line);
            m_line.clear();
        }
        if (m_failure.empty()) (void)m_writer.finish();
    }
    if (!m_failure.empty()) {
        if (reason) *reason = m_failure;
        return false;
    }
    if (const auto& failure = m_writer.report().failure) {
        if (reason) *reason = describeFailure(*failure);
        return false;
    }
    return true;
}

bool ArchiveOutputFile::prepare(std::string* reason)
{
    return finish(reason) && m_out->prepare(reason);
}

bool ArchiveOutputFile::commit(std::string* reason)
{
    return finish(reason) && m_out->commit(reason);
}

platform::NewFileCommit ArchiveOutputFile::commitNew(std::string* reason)
{
    if (!finish(reason)) return platform::NewFileCommit::Failed;
    return m_out->commitNew(reason);
}

bool ArchiveOutputFile::revert()
{
    return m_out->revert();
}

std::string describeFailure(const ArchiveFailure& failure)
{
    switch (failure.error) {
    case ArchiveError::ObjectRefused:
        return "object " + std::to_string(failure.objectNumber) + " (\"" + failure.objectName +
               "\") would stop OpenSim's load of the whole archive: " + failure.reason;
    case ArchiveError::NoObjects:
        return "the archive would hold no object";
    case ArchiveError::OutOfMemory:
        return "there was not memory enough to write an object";
    case ArchiveError::AssetRefused:
    case ArchiveError::AssetsNotDeclared:
    case ArchiveError::AssetUnreadable:
    case ArchiveError::AssetSizeWrong:
        return "asset " + failure.assetUuid + ": " + failure.reason;
    case ArchiveError::OutputFailed:
        break;
    }
    return failure.reason;
}

}  // namespace vantor::archive
