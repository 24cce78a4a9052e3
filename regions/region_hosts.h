#pragma once

#include "platform/file_system.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::regions {

// The host that "Local" announces.
inline constexpr const char* kLocalHost = "127.0.0.1";

// Whether host may be written into a region file: a dotted IPv4 address (four numbers 0 to
// 255, no leading zeros), or a DNS host name of letters, digits, hyphens and dots whose labels
// are 1 to 63 characters, neither begin nor end with a hyphen, the last not all digits.
[[nodiscard]] bool isValidHost(std::string_view host);

// The Regions folder of an OpenSim folder, which may end with its separator or not.
[[nodiscard]] std::string regionsFolderOf(std::string_view openSimFolder);

// How a region file announces its host: the older XML files on their line 2, between
// "external_host_name=" and "master_avatar_uuid"; the current *.ini files on every
// "ExternalHostName = VALUE" line.
enum class RegionFileFormat { Xml, Ini };

// Files whose name ends in ".ini" (any case) are of the current kind, every other the older.
[[nodiscard]] RegionFileFormat regionFileFormatOf(std::string_view fileName);

enum class RegionFileOutcome {
    Rewritten,
    Unchanged,  // it already announced that host
    Skipped,    // left as it was, for the reason given
};

enum class SkipReason {
    None,
    NoMarkers,    // no "external_host_name=" and later "master_avatar_uuid" on line 2, or no ExternalHostName line
    TooFewLines,  // an older file that names "external_host_name=" but has no line 2
    Unreadable,
    NotWritable,  // read-only, or the new content could not be put in place (the old stays)
    Folder,          // a folder inside Regions
    NotPlainFile,    // a FIFO, a device or a socket, also one swapped in after the folder was listed
    DanglingLink,    // a symbolic link that leads to nothing
    OutsideOpenSim,  // a link to a file outside the OpenSim folder, which is not written through; detail: that file
};

struct RegionFileReport {
    std::string name;  // without folder
    RegionFileOutcome outcome = RegionFileOutcome::Skipped;
    SkipReason reason = SkipReason::None;
    std::string detail;  // the system's reason for Unreadable and NotWritable
    friend bool operator==(const RegionFileReport&, const RegionFileReport&) = default;
};

// Why a rewrite touched nothing.
enum class RegionHostsError {
    NoRegionsFolder,
    InvalidHost,
};

struct RegionHostsReport {
    std::string folder;
    std::string host;
    std::vector<RegionFileReport> files;  // in name order
    // Nothing when every file was looked at (see the per-file reports).
    std::optional<RegionHostsError> failure;
    explicit operator bool() const { return !failure; }

    [[nodiscard]] std::size_t count(RegionFileOutcome outcome) const;
    // Whether a region file still announces another host because it could not be read or
    // written, or leads outside the OpenSim folder.
    [[nodiscard]] bool anyFailed() const;
};

// The bytes of one region file with host announced, and what was done. Only the host value
// changes: every other byte, line ends and encoding included, stays as it was.
struct RegionTextRewrite {
    RegionFileOutcome outcome = RegionFileOutcome::Skipped;
    SkipReason reason = SkipReason::None;
    std::string bytes;  // the new content when Rewritten
};
[[nodiscard]] RegionTextRewrite rewriteRegionText(std::string_view bytes, std::string_view host,
                                                  RegionFileFormat format);

// RewriteRegionHosts: announces host in every file of regionsFolder, in name order, each
// written to a temporary file and renamed into place. A host that isValidHost refuses, and a
// missing folder, touch nothing. Every entry of the folder is reported: folders, FIFOs,
// devices and links to nothing are skipped with their reason, and no read waits on a FIFO or
// device put in a file's place after the listing. A file to be rewritten that lies outside
// both the OpenSim folder (the folder above regionsFolder) and regionsFolder, as a symbolic
// link may lead, is left alone and named.
[[nodiscard]] RegionHostsReport rewriteRegionHosts(platform::FileSystem& files, const std::string& regionsFolder,
                                                   std::string_view host);

}  // namespace vantor::regions
