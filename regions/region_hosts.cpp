#include "regions/region_hosts.h"

#include "text/strings.h"
#include "text/text_codec.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace vantor::regions {

namespace {

constexpr std::string_view kHostMarker = "external_host_name=";
constexpr std::string_view kOwnerMarker = "master_avatar_uuid";
constexpr std::string_view kIniKey = "ExternalHostName";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isBlank(char c) { return c == ' ' || c == '\t'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lower(x) == lower(y);
           });
}

std::vector<std::string_view> splitAt(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    for (std::size_t at = text.find(separator); at != std::string_view::npos; at = text.find(separator, from)) {
        parts.push_back(text.substr(from, at - from));
        from = at + 1;
    }
    parts.push_back(text.substr(from));
    return parts;
}

bool isHostName(std::string_view host)
{
    if (host.empty() || host.size() > 253) return false;
    const auto labels = splitAt(host, '.');
    const bool labelsValid = std::all_of(labels.begin(), labels.end(), [](std::string_view label) {
        return !label.empty() && label.size() <= 63 && label.front() != '-' && label.back() != '-' &&
               std::all_of(label.begin(), label.end(), [](char c) { return isLetter(c) || isDigit(c) || c == '-'; });
    });
    // An all-digit last label would make a mistyped address such as 1.2.3.256 pass as a name.
    const std::string_view last = labels.back();
    return labelsValid && !std::all_of(last.begin(), last.end(), isDigit);
}

// One line of a text: where it starts and where its text ends (its line end not included).
struct LineSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};

std::vector<LineSpan> lineSpans(std::string_view bytes)
{
    std::vector<LineSpan> spans;
    text::LineCursor cursor(bytes);
    while (const auto line = cursor.next()) {
        const auto begin = static_cast<std::size_t>(line->data() - bytes.data());
        spans.push_back({begin, begin + line->size()});
    }
    return spans;
}

// The older files: on line 2, everything between "external_host_name=" and the character
// just before "master_avatar_uuid" becomes the host in double quotes.
RegionTextRewrite rewriteXml(std::string_view bytes, std::string_view host)
{
    const auto lines = lineSpans(bytes);
    if (lines.size() < 2) {
        // A file that names the host but ends before line 2 is a region file cut short.
        const bool namesHost = bytes.find(kHostMarker) != std::string_view::npos;
        return {RegionFileOutcome::Skipped, namesHost ? SkipReason::TooFewLines : SkipReason::NoMarkers, {}};
    }
    const std::string_view line = bytes.substr(lines[1].begin, lines[1].end - lines[1].begin);
    const std::size_t hostAt = line.find(kHostMarker);
    if (hostAt == std::string_view::npos) return {RegionFileOutcome::Skipped, SkipReason::NoMarkers, {}};
    const std::size_t valueAt = hostAt + kHostMarker.size();
    // The character before "master_avatar_uuid" stays in the line, so one must follow the "=".
    const std::size_t ownerAt = line.find(kOwnerMarker, valueAt + 1);
    if (ownerAt == std::string_view::npos) return {RegionFileOutcome::Skipped, SkipReason::NoMarkers, {}};

    std::string out;
    out.reserve(bytes.size() + host.size() + 2);
    out.append(bytes.substr(0, lines[1].begin + valueAt));
    out += '"';
    out.append(host);
    out += '"';
    out.append(bytes.substr(lines[1].begin + ownerAt - 1));
    return {RegionFileOutcome::Rewritten, SkipReason::None, std::move(out)};
}

// Where the value of an "ExternalHostName = VALUE" line lies within the line; nothing for
// any other line. A quoted value is replaced inside its quotes; an unquoted one ends before
// trailing blanks or a ";" or "#" comment.
std::optional<LineSpan> iniHostValue(std::string_view line)
{
    std::size_t at = 0;
    while (at < line.size() && isBlank(line[at])) ++at;
    if (!equalsIgnoringCase(line.substr(at, kIniKey.size()), kIniKey)) return std::nullopt;
    at += kIniKey.size();
    while (at < line.size() && isBlank(line[at])) ++at;
    if (at == line.size() || line[at] != '=') return std::nullopt;
    ++at;
    while (at < line.size() && isBlank(line[at])) ++at;
    if (at < line.size() && line[at] == '"') {
        const std::size_t closing = line.find('"', at + 1);
        if (closing != std::string_view::npos) return LineSpan{at + 1, closing};
    }
    std::size_t end = std::min(line.find_first_of(";#", at), line.size());
    while (end > at && isBlank(line[end - 1])) --end;
    return LineSpan{at, end};
}

RegionTextRewrite rewriteIni(std::string_view bytes, std::string_view host)
{
    std::string out;
    out.reserve(bytes.size() + host.size());
    std::size_t copied = 0;
    bool found = false;
    for (const LineSpan& span : lineSpans(bytes)) {
        std::size_t begin = span.begin;
        if (begin == 0 && bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) begin = kByteOrderMark.size();
        const auto value = iniHostValue(bytes.substr(begin, span.end - begin));
        if (!value) continue;
        found = true;
        out.append(bytes.substr(copied, begin + value->begin - copied));
        out.append(host);
        copied = begin + value->end;
    }
    if (!found) return {RegionFileOutcome::Skipped, SkipReason::NoMarkers, {}};
    out.append(bytes.substr(copied));
    return {RegionFileOutcome::Rewritten, SkipReason::None, std::move(out)};
}

// Whether path lies in folder or below it; both are resolved paths.
bool liesWithin(const std::string& path, const std::string& folder)
{
    if (folder == "/") return true;
    return path.size() > folder.size() && path.starts_with(folder) && path[folder.size()] == '/';
}

// The folder above regionsFolder, which names it as "FOLDER/Regions".
std::string openSimFolderOf(const std::string& regionsFolder)
{
    const auto slash = regionsFolder.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : regionsFolder.substr(0, slash);
}

// Why an entry that is no plain file is skipped; None for a plain file.
SkipReason reasonForKind(platform::PathKind kind, bool symbolicLink)
{
    switch (kind) {
    case platform::PathKind::RegularFile:
        return SkipReason::None;
    case platform::PathKind::Folder:
        return SkipReason::Folder;
    case platform::PathKind::Other:
        return SkipReason::NotPlainFile;
    case platform::PathKind::Missing:
        break;
    }
    return symbolicLink ? SkipReason::DanglingLink : SkipReason::Unreadable;
}

RegionFileReport rewriteRegionFile(platform::FileSystem& files, const std::string& path, std::string name,
                                   std::string_view host, const std::vector<std::string>& allowedFolders)
{
    RegionFileReport report{std::move(name), RegionFileOutcome::Skipped, SkipReason::None, {}};
    const auto read = files.readLocated(path, &report.detail);
    if (!read) {
        // Replaced by a folder, FIFO or device since the listing, or unreadable.
        report.reason = reasonForKind(files.kindOf(path), false);
        if (report.reason == SkipReason::None) report.reason = SkipReason::Unreadable;
        if (report.reason != SkipReason::Unreadable) report.detail.clear();
        return report;
    }
    const std::string& bytes = read->bytes;
    RegionTextRewrite rewrite = rewriteRegionText(bytes, host, regionFileFormatOf(report.name));
    report.detail.clear();
    if (rewrite.outcome == RegionFileOutcome::Rewritten && rewrite.bytes == bytes) {
        report.outcome = RegionFileOutcome::Unchanged;
        return report;
    }
    report.reason = rewrite.reason;
    if (rewrite.outcome != RegionFileOutcome::Rewritten) return report;

    // The file is written where it was read; where that place leads now is looked at too, as
    // a link may have been put there since.
    const std::string& target = read->location;
    for (const std::string& place : {target, files.resolvedPath(target).value_or(target)}) {
        if (std::none_of(allowedFolders.begin(), allowedFolders.end(),
                         [&place](const std::string& folder) { return liesWithin(place, folder); })) {
            report.reason = SkipReason::OutsideOpenSim;
            report.detail = place;
            return report;
        }
    }

    // A file replaced by a folder, FIFO or device since it was read is skipped for that.
    const auto notWritten = [&files, &target, &report](std::string detail) {
        const SkipReason now = reasonForKind(files.kindOf(target), false);
        const bool replaced = now != SkipReason::None && now != SkipReason::Unreadable;
        report.reason = replaced ? now : SkipReason::NotWritable;
        report.detail = replaced ? std::string() : std::move(detail);
        return report;
    };
    if (!files.isWritable(target)) return notWritten("read-only");
    std::string why;
    const std::unique_ptr<platform::OutputFile> out = files.create(target, &why);
    if (!out) return notWritten(why);
    out->write(rewrite.bytes);
    if (!out->commit(&why)) return notWritten(why);
    report.outcome = RegionFileOutcome::Rewritten;
    report.reason = SkipReason::None;
    report.detail.clear();
    return report;
}

}  // namespace

bool isValidHost(std::string_view host) { return text::isDottedIpv4(host) || isHostName(host); }

std::string regionsFolderOf(std::string_view openSimFolder)
{
    std::string folder(openSimFolder);
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
    return folder + "Regions";
}

RegionFileFormat regionFileFormatOf(std::string_view fileName)
{
    constexpr std::string_view kIni = ".ini";
    return fileName.size() >= kIni.size() && equalsIgnoringCase(fileName.substr(fileName.size() - kIni.size()), kIni)
               ? RegionFileFormat::Ini
               : RegionFileFormat::Xml;
}

std::size_t RegionHostsReport::count(RegionFileOutcome wanted) const
{
    return static_cast<std::size_t>(
        std::count_if(files.begin(), files.end(), [wanted](const RegionFileReport& file) { return file.outcome == wanted; }));
}

bool RegionHostsReport::anyFailed() const
{
    return std::any_of(files.begin(), files.end(), [](const RegionFileReport& file) {
        return file.reason == SkipReason::Unreadable || file.reason == SkipReason::NotWritable ||
               file.reason == SkipReason::OutsideOpenSim;
    });
}

RegionTextRewrite rewriteRegionText(std::string_view bytes, std::string_view host, RegionFileFormat format)
{
    return format == RegionFileFormat::Ini ? rewriteIni(bytes, host) : rewriteXml(bytes, host);
}

RegionHostsReport rewriteRegionHosts(platform::FileSystem& files, const std::string& regionsFolder,
                                     std::string_view host)
{
    RegionHostsReport report;
    report.folder = regionsFolder;
    report.host = host;
    if (!isValidHost(host)) {
        report.failure = RegionHostsError::InvalidHost;
        return report;
    }
    if (!files.isDirectory(regionsFolder)) {
        report.failure = RegionHostsError::NoRegionsFolder;
        return report;
    }
    // Where region files may lie: the OpenSim folder and the Regions folder, which may be a
    // link to elsewhere.
    std::vector<std::string> allowedFolders;
    for (const std::string& folder : {openSimFolderOf(regionsFolder), regionsFolder}) {
        if (auto resolved = files.resolvedPath(folder)) allowedFolders.push_back(std::move(*resolved));
    }
    for (platform::FolderEntry& entry : files.listEntries(regionsFolder)) {
        const SkipReason reason = reasonForKind(entry.kind, entry.symbolicLink);
        if (reason != SkipReason::None) {
            // A plain file gone since the listing is said as the file system says it.
            report.files.push_back({std::move(entry.name), RegionFileOutcome::Skipped, reason,
                                    reason == SkipReason::Unreadable ? "No such file or directory" : ""});
            continue;
        }
        const std::string path = regionsFolder + "/" + entry.name;
        report.files.push_back(rewriteRegionFile(files, path, std::move(entry.name), host, allowedFolders));
    }
    return report;
}

}  // namespace vantor::regions
