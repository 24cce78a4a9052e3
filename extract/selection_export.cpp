#include "selection_export.h"

#include <memory>

namespace vantor::extract {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kNameValue = 19;  // the object name in a value list

bool endsWithXml(std::string_view path)
{
    if (path.size() < 4) return false;
    const std::string_view ending = path.substr(path.size() - 4);
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return ending[0] == '.' && lower(ending[1]) == 'x' && lower(ending[2]) == 'm' && lower(ending[3]) == 'l';
}

ExportFailure fileFailure(ExportError error, const std::string& path, std::string reason)
{
    ExportFailure failure;
    failure.error = error;
    failure.path = path;
    failure.reason = std::move(reason);
    return failure;
}

ExportFailure objectFailure(ExportError error, std::size_t objectNumber, std::string name, RecordFailure cause)
{
    ExportFailure failure;
    failure.error = error;
    failure.objectNumber = objectNumber;
    failure.objectName = std::move(name);
    failure.cause = cause;
    return failure;
}

std::optional<ExportFailure> writeSceneFile(const ObjectLines& table, const std::string& path,
                                            platform::FileSystem& files)
{
    std::string reason;
    const auto out = files.create(path, &reason);
    if (!out) return fileFailure(ExportError::SceneFileFailed, path, reason);
    out->write("<scene>\r\n\r\n");
    for (const std::string_view line : table) {
        out->write(line);
        out->write(kLineEnd);
    }
    out->write("\r\n</scene>\r\n");
    if (!out->commit(&reason)) return fileFailure(ExportError::SceneFileFailed, path, reason);
    return std::nullopt;
}

}  // namespace

std::string listingPathFor(std::string_view scenePath)
{
    std::string path(scenePath);
    if (endsWithXml(path)) {
        path.replace(path.size() - 4, 4, ".txt");
    } else {
        path += ".txt";
    }
    return path;
}

ExportReport exportSelection(const ObjectLines& table, const std::string& scenePath, const platform::Clock& clock,
                             platform::FileSystem& files)
{
    ExportReport report;
    report.scenePath = scenePath;
    report.listingPath = listingPathFor(scenePath);

    if (auto failure = writeSceneFile(table, scenePath, files)) {
        report.failure = std::move(failure);
        return report;
    }
    report.objectCount = table.size();

    std::string reason;
    const auto listing = files.create(report.listingPath, &reason);
    if (!listing) {
        report.failure = fileFailure(ExportError::ListingFileFailed, report.listingPath, reason);
        return report;
    }
    ListingRecordBuilder builder(clock);
    if (!table.empty()) {
        // The header's rez position is the last object's: a position near the build that the
        // converter subtracts from every object's position when it reads the listing back.
        const std::size_t anchor = table.size() - 1;
        ValueList anchorValues;
        (void)TokeniseObjectLine(table[anchor], anchorValues);
        const BuiltText header = BuildHeaderLine(anchorValues, clock);
        if (!header) {
            const std::string_view name =
                anchorValues.size() > kNameValue ? anchorValues[kNameValue] : std::string_view{};
            report.failure = objectFailure(ExportError::HeaderFailed, anchor + 1, decodeXmlText(name),
                                           *header.failure);
            return report;
        }
        listing->write(header.text);
        listing->write(kLineEnd);
    }
    for (std::size_t k = 0; k < table.size(); ++k) {
        const BuiltText record = builder.BuildListingRecord(table[k]);
        if (!record) {
            report.failure = objectFailure(ExportError::RecordFailed, k + 1, builder.name(), *record.failure);
            return report;
        }
        listing->write(record.text);
        listing->write(kLineEnd);
    }
    if (!listing->commit(&reason)) {
        report.failure = fileFailure(ExportError::ListingFileFailed, report.listingPath, reason);
    }
    return report;
}

}  // namespace vantor::extract
