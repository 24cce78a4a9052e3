#pragma once

#include "region_archive.h"

#include "platform/file_system.h"

#include <memory>
#include <string>
#include <string_view>

namespace vantor::archive {

// An output file that takes the text of a scene file (scene/scene_file.h: one SceneObjectGroup
// per line between the lines of the <scene> element) and writes it as a region archive instead:
// every line that holds an object becomes one object entry, in the order of the lines; blank
// lines and the scene element's own lines are left out. So a writer of scene files writes an
// archive without knowing it.
//
// Each object is checked as its line ends (checkObject); a line longer than kLargestObjectBytes
// is refused without being held. A refused object, or an archive
// without objects, makes prepare() and the commits fail with the reason, and nothing is put in
// place; the temporary file goes with the output file as ever.
class ArchiveOutputFile final : public platform::OutputFile {
public:
    ArchiveOutputFile(std::unique_ptr<platform::OutputFile> out, const ArchiveOptions& options);
    ~ArchiveOutputFile() override;

    void write(std::string_view bytes) override;
    bool prepare(std::string* reason = nullptr) override;
    bool commit(std::string* reason = nullptr) override;
    platform::NewFileCommit commitNew(std::string* reason = nullptr) override;
    bool revert() override;

    // What was written so far, or the first failure.
    [[nodiscard]] const ArchiveReport& report() const { return m_writer.report(); }

private:
    void addLine(std::string_view line);
    // Ends the archive once; false (with the reason) when it failed.
    bool finish(std::string* reason);

    std::unique_ptr<platform::OutputFile> m_out;
    RegionArchiveWriter m_writer;  // writes into *m_out
    std::string m_line;            // the start of a line whose end has not come yet
    // A line longer than any object may be is not kept: only its length is counted, and it
    // fails the archive when it ends, so that memory stays bounded whatever the scene's lines.
    std::size_t m_longLine = 0;
    std::string m_failure;         // such a line's failure, in words
    bool m_finished = false;
};

// The failure of an archive in words, for messages: the object that OpenSim could not read
// (its number, name and why), an archive without objects, or what the stream or file system said.
[[nodiscard]] std::string describeFailure(const ArchiveFailure& failure);

}  // namespace vantor::archive
