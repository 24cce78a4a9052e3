#include "app/region_texts.h"

#include "app/shell_texts.h"

namespace vantor::app {

namespace entry = language::entry;
using language::LanguageTable;

namespace {

std::size_t reasonEntry(regions::SkipReason reason)
{
    switch (reason) {
    case regions::SkipReason::TooFewLines:
        return entry::kRegionTooFewLines;
    case regions::SkipReason::Unreadable:
        return entry::kRegionUnreadable;
    case regions::SkipReason::NotWritable:
        return entry::kRegionNotWritable;
    case regions::SkipReason::Folder:
        return entry::kRegionFolder;
    case regions::SkipReason::NotPlainFile:
        return entry::kRegionNotPlainFile;
    case regions::SkipReason::DanglingLink:
        return entry::kRegionDanglingLink;
    case regions::SkipReason::OutsideOpenSim:
        return entry::kRegionOutsideOpenSim;
    case regions::SkipReason::None:
    case regions::SkipReason::NoMarkers:
        break;
    }
    return entry::kRegionNoMarkers;
}

}  // namespace

RegionHostsMessage regionHostsMessage(const LanguageTable& texts, const regions::RegionHostsReport& report)
{
    if (report.failure) {
        switch (*report.failure) {
        case regions::RegionHostsError::NoRegionsFolder:
            return {texts.entry(entry::kRegionNoFolder) + kCrLf + report.folder, platform::MessageIcon::Warning};
        case regions::RegionHostsError::InvalidHost:
            return {texts.entry(entry::kRegionInvalidHost) + kCrLf + report.host, platform::MessageIcon::Warning};
        }
    }
    const std::size_t rewritten = report.count(regions::RegionFileOutcome::Rewritten);
    const std::size_t unchanged = report.count(regions::RegionFileOutcome::Unchanged);
    std::string text;
    if (rewritten > 0) {
        // Entries 28 and 29 say the files were updated and ask for a restart.
        text = texts.entry(entry::kRegionHostsLine1) + kCrLf + texts.entry(entry::kRegionHostsLine2) + kCrLf + kCrLf +
               texts.entry(entry::kRegionHostWritten) + " " + report.host + kCrLf +
               texts.entry(entry::kRegionFilesRewritten) + " " + std::to_string(rewritten);
    } else if (unchanged > 0 && !report.anyFailed()) {
        text = fillIn(texts.entry(entry::kRegionAllAlready), {report.host});
    } else {
        text = fillIn(texts.entry(entry::kRegionNoneRewritten), {report.host});
    }
    if (unchanged > 0) text += kCrLf + texts.entry(entry::kRegionFilesUnchanged) + " " + std::to_string(unchanged);
    if (report.count(regions::RegionFileOutcome::Skipped) > 0) {
        text += kCrLf + texts.entry(entry::kRegionFilesLeftAlone);
        for (const regions::RegionFileReport& file : report.files) {
            if (file.outcome != regions::RegionFileOutcome::Skipped) continue;
            text += kCrLf + file.name + ": " + texts.entry(reasonEntry(file.reason));
            if (!file.detail.empty()) text += " (" + file.detail + ")";
        }
    }
    // A region file that still announces another host gets the warning icon.
    return {std::move(text), report.anyFailed() ? platform::MessageIcon::Warning : platform::MessageIcon::Information};
}

}  // namespace vantor::app
