#include "region_archive.h"

#include <pugixml.hpp>

#include <algorithm>
#include <new>
#include <utility>

namespace vantor::archive {

namespace {

constexpr std::string_view kControlFile = "archive.xml";
constexpr std::size_t kAssetPieceBytes = std::size_t{1} << 16;

class StringWriter final : public pugi::xml_writer {
public:
    void write(const void* data, std::size_t size) override { text.append(static_cast<const char*>(data), size); }
    std::string text;
};

// The archive's description as OpenSim reads it: version 0.8, one region of 256 by 256
// metres, no `row` or `regions` (those would make it an archive of several regions). OpenSim
// reads this file as ASCII, and everything in it is.
std::string controlFile(const ArchiveOptions& options)
{
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-8";
    pugi::xml_node root = document.append_child("archive");
    root.append_attribute("major_version") = "0";
    root.append_attribute("minor_version") = "8";
    root.append_child("creation_info").append_child("datetime").text() = std::to_string(options.createdAt).c_str();
    root.append_child("assets_included").text() = options.withAssets ? "True" : "False";
    root.append_child("region_info").append_child("size_in_meters").text() = "256,256";
    StringWriter writer;
    document.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    return std::move(writer.text);
}

ArchiveFailure refusedObject(std::size_t number, const ArchiveObject& object, ObjectProblem problem)
{
    ArchiveFailure failure;
    failure.error = ArchiveError::ObjectRefused;
    failure.objectNumber = number;
    failure.objectName = object.identity.name;
    failure.fault = problem.fault;
    failure.reason = std::move(problem.reason);
    return failure;
}

ArchiveFailure simpleFailure(ArchiveError error, std::string reason = {})
{
    ArchiveFailure failure;
    failure.error = error;
    failure.reason = std::move(reason);
    return failure;
}

}  // namespace

RegionArchiveWriter::RegionArchiveWriter(platform::OutputFile& out, const ArchiveOptions& options)
    : m_options(options), m_tar(out, options.createdAt)
{
    try {
        // First, so that the loader finds it without reading the archive a second time.
        if (!m_tar.addEntry(kControlFile, controlFile(m_options))) failOutput();
    } catch (const std::bad_alloc&) {
        fail(simpleFailure(ArchiveError::OutOfMemory));
    }
}

RegionArchiveWriter::~RegionArchiveWriter() = default;

const ArchiveReport& RegionArchiveWriter::addObject(const ArchiveObject& object)
{
    if (m_report.failure) return m_report;
    try {
        if (auto problem = checkObject(object.document)) {
            return fail(refusedObject(m_objectsGiven + 1, object, std::move(*problem)));
        }
    } catch (const std::bad_alloc&) {
        return fail(simpleFailure(ArchiveError::OutOfMemory));
    }
    return writeObject(object);
}

const ArchiveReport& RegionArchiveWriter::writeObject(const ArchiveObject& object)
{
    if (m_report.failure) return m_report;
    if (m_finished) return fail(simpleFailure(ArchiveError::OutputFailed, "an object after the archive was finished"));
    ++m_objectsGiven;
    try {
        if (!m_tar.addEntry(objectEntryName(object.identity), withoutByteOrderMark(object.document))) return failOutput();
    } catch (const std::bad_alloc&) {
        return fail(simpleFailure(ArchiveError::OutOfMemory));
    }
    ++m_report.objectCount;
    return m_report;
}

const ArchiveReport& RegionArchiveWriter::addAsset(const AssetName& asset, std::uint64_t size, platform::InputStream& data)
{
    if (m_report.failure) return m_report;
    if (m_finished) return fail(simpleFailure(ArchiveError::OutputFailed, "an asset after the archive was finished"));
    if (!m_options.withAssets) return failAsset(ArchiveError::AssetsNotDeclared, asset, {});
    try {
        const auto name = assetEntryName(asset);
        if (!name) {
            return failAsset(ArchiveError::AssetRefused, asset,
                             canonicalUuid(asset.uuid) ? "a type without an archive suffix" : "a name that is no UUID");
        }
        if (size > kLargestAssetBytes) {
            return failAsset(ArchiveError::AssetRefused, asset, std::to_string(size) + " bytes, more than OpenSim reads");
        }
        if (!m_block) m_block = std::make_unique<char[]>(kAssetPieceBytes);
        if (!m_tar.beginEntry(*name, size)) return failOutput();
        std::uint64_t remaining = size;
        for (;;) {
            // One byte more than is missing is asked for, so that a longer stream shows.
            const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(remaining + 1, kAssetPieceBytes));
            std::string reason;
            const auto got = data.read(m_block.get(), wanted, &reason);
            if (!got) return failAsset(ArchiveError::AssetUnreadable, asset, std::move(reason));
            if (*got == 0) {
                if (remaining == 0) break;
                return failAsset(ArchiveError::AssetSizeWrong, asset,
                                 std::to_string(size - remaining) + " of its " + std::to_string(size) + " bytes");
            }
            if (*got > remaining) {
                return failAsset(ArchiveError::AssetSizeWrong, asset, "more than its " + std::to_string(size) + " bytes");
            }
            if (!m_tar.writeData(std::string_view(m_block.get(), *got))) return failOutput();
            remaining -= *got;
        }
        if (!m_tar.endEntry()) return failOutput();
    } catch (const std::bad_alloc&) {
        return fail(simpleFailure(ArchiveError::OutOfMemory));
    }
    ++m_report.assetCount;
    return m_report;
}

const ArchiveReport& RegionArchiveWriter::finish()
{
    if (m_report.failure || m_finished) return m_report;
    if (m_report.objectCount == 0) return fail(simpleFailure(ArchiveError::NoObjects));
    m_finished = true;
    if (!m_tar.close()) return failOutput();
    return m_report;
}

const ArchiveReport& RegionArchiveWriter::fail(ArchiveFailure failure)
{
    if (!m_report.failure) m_report.failure = std::move(failure);
    return m_report;
}

const ArchiveReport& RegionArchiveWriter::failOutput()
{
    return fail(simpleFailure(ArchiveError::OutputFailed, m_tar.error()));
}

const ArchiveReport& RegionArchiveWriter::failAsset(ArchiveError error, const AssetName& asset, std::string reason)
{
    ArchiveFailure failure = simpleFailure(error, std::move(reason));
    failure.assetUuid = asset.uuid;
    return fail(std::move(failure));
}

}  // namespace vantor::archive
