// Tests of the region archive writer: the archive OpenSim's `load oar` reads, checked in its
// tar headers, its archive.xml, its entries and through Vantor's own archive reader.
#include "archive/archive_output.h"
#include "archive/region_archive.h"

#include "testing/opensim_fixture.h"
#include "extract/scene_archive.h"
#include "testing/fake_platform.h"
#include "samples.h"
#include "testing/failures.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace vantor::archive {
namespace {

constexpr std::int64_t kCreatedAt = 1700000000;
const std::string kPath = "/out/build.oar";

struct Entry {
    std::string path;
    std::string bytes;
    friend bool operator==(const Entry&, const Entry&) = default;
};

using Reader = std::unique_ptr<::archive, decltype(&archive_read_free)>;

// The entries of a compressed tar as libarchive reads them.
std::vector<Entry> entriesOf(const std::string& bytes)
{
    Reader reader(archive_read_new(), archive_read_free);
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_tar(reader.get());
    EXPECT_EQ(archive_read_open_memory(reader.get(), bytes.data(), bytes.size()), ARCHIVE_OK);
    std::vector<Entry> entries;
    archive_entry* entry = nullptr;
    while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
        Entry& read = entries.emplace_back();
        read.path = archive_entry_pathname(entry);
        read.bytes.resize(static_cast<std::size_t>(archive_entry_size(entry)));
        EXPECT_EQ(archive_read_data(reader.get(), read.bytes.data(), read.bytes.size()),
                  static_cast<la_ssize_t>(read.bytes.size()));
    }
    return entries;
}

// The uncompressed tar stream.
std::string tarBytes(const std::string& bytes)
{
    Reader reader(archive_read_new(), archive_read_free);
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_format_raw(reader.get());
    EXPECT_EQ(archive_read_open_memory(reader.get(), bytes.data(), bytes.size()), ARCHIVE_OK);
    archive_entry* entry = nullptr;
    EXPECT_EQ(archive_read_next_header(reader.get(), &entry), ARCHIVE_OK);
    std::string tar;
    char block[65536];
    for (la_ssize_t got; (got = archive_read_data(reader.get(), block, sizeof block)) > 0;) tar.append(block, static_cast<std::size_t>(got));
    return tar;
}

struct Header {
    std::string name;    // the 100-byte name field, up to its first NUL
    char type = 0;       // the type flag
    std::string magic;   // "ustar  \0" in GNU format
    std::string prefix;  // the USTAR prefix field, up to its first NUL
    std::string data;
};

// The headers of a tar stream read as a minimal reader reads them (as OpenSim's does):
// 512-byte headers, octal sizes, data padded to 512 bytes, a zero byte ending the archive.
std::vector<Header> headersOf(const std::string& tar)
{
    const auto field = [&tar](std::size_t at, std::size_t length) {
        const std::string text = tar.substr(at, length);
        return text.substr(0, text.find('\0'));
    };
    std::vector<Header> headers;
    for (std::size_t at = 0; at + 512 <= tar.size() && tar[at] != '\0';) {
        Header& header = headers.emplace_back();
        header.name = field(at, 100);
        header.type = tar[at + 156];
        header.magic = tar.substr(at + 257, 8);
        header.prefix = field(at + 345, 155);
        const std::size_t size = std::stoul(field(at + 124, 12), nullptr, 8);
        header.data = tar.substr(at + 512, size);
        at += 512 + (size + 511) / 512 * 512;
    }
    return headers;
}

std::string objectXml(const std::string& name, int serial, const std::array<std::string, 3>& position = {"128", "128", "25"})
{
    test::OpenSimObject built;
    built.position = position;
    built.parts.front().name = name;
    return test::openSimObjectXml(built, serial);
}

ArchiveObject objectOf(const std::string& document)
{
    return {document, describeObject(document).value_or(ObjectIdentity{})};
}

class RegionArchiveTest : public ::testing::Test {
protected:
    RegionArchiveTest()
    {
        documents = {objectXml("Floor", 1, {"128", "128", "21.75"}), objectXml("North wall", 2, {"128", "131", "23.375"}),
                     objectXml("Chaise \xC3\xA9l\xC3\xA9gante", 3, {"124.1", "128", "23.5"})};
        for (const auto& document : documents) objects.push_back(objectOf(document));
        files.addFolder("/out");
    }

    std::string save(const ArchiveOptions& options = {kCreatedAt, false})
    {
        const ArchiveReport report = saveRegionArchive(files, kPath, objects, options);
        EXPECT_TRUE(report) << (report ? "" : report.failure->reason);
        EXPECT_EQ(report.objectCount, objects.size());
        return files.files[kPath];
    }

    test::FakeFileSystem files;
    std::vector<std::string> documents;
    std::vector<ArchiveObject> objects;
};

// Gives an asset's bytes a few at a time, then fails or goes on past them if told to.
class PieceStream final : public platform::InputStream {
public:
    explicit PieceStream(std::string bytes, std::size_t piece = 1000) : m_bytes(std::move(bytes)), m_piece(piece) {}
    std::optional<std::size_t> read(char* into, std::size_t size, std::string* reason) override
    {
        largestAsk = std::max(largestAsk, size);
        if (m_at == m_bytes.size() && failAtEnd) {
            if (reason) *reason = "device gone";
            return std::nullopt;
        }
        const std::size_t count = std::min({size, m_piece, m_bytes.size() - m_at});
        std::copy_n(m_bytes.data() + m_at, count, into);
        m_at += count;
        return count;
    }
    bool failAtEnd = false;
    std::size_t largestAsk = 0;

private:
    std::string m_bytes;
    std::size_t m_piece;
    std::size_t m_at = 0;
};

TEST_F(RegionArchiveTest, WritesArchiveXmlFirstThenEachObjectThenEachAsset)
{
    auto out = files.create(kPath, nullptr);
    ASSERT_TRUE(out);
    const std::string texture(200000, 'T');
    {
        RegionArchiveWriter writer(*out, {kCreatedAt, true});
        for (const auto& object : objects) ASSERT_TRUE(writer.addObject(object));
        PieceStream stream(texture);
        ASSERT_TRUE(writer.addAsset({"6A1B2C3D-0000-4000-8000-00000000000A", AssetType::Texture}, texture.size(), stream));
        EXPECT_LE(stream.largestAsk, std::size_t{1} << 16);  // the asset is copied in pieces
        PieceStream script("default { }");
        const ArchiveReport& report = writer.addAsset({"6a1b2c3d-0000-4000-8000-00000000000b", AssetType::Script}, 11, script);
        ASSERT_TRUE(report);
        EXPECT_EQ(report.objectCount, 3u);
        EXPECT_EQ(report.assetCount, 2u);
        ASSERT_TRUE(writer.finish());
    }
    ASSERT_TRUE(out->commit());

    const auto entries = entriesOf(files.files[kPath]);
    std::vector<std::string> paths;
    for (const auto& entry : entries) paths.push_back(entry.path);
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "archive.xml",
                         "objects/Floor_128-128-022__6a1b2c3d-0000-4000-8000-000000101000.xml",
                         "objects/North wall_128-131-023__6a1b2c3d-0000-4000-8000-000000102000.xml",
                         "objects/Chaise _l_gante_124-128-024__6a1b2c3d-0000-4000-8000-000000103000.xml",
                         "assets/6a1b2c3d-0000-4000-8000-00000000000a_texture.jp2",
                         "assets/6a1b2c3d-0000-4000-8000-00000000000b_script.lsl",
                     }));
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[4].bytes, texture);
    EXPECT_EQ(entries[5].bytes, "default { }");
}

// Each object entry holds its one group, without the byte order mark it may have come with.
TEST_F(RegionArchiveTest, IsGnuTarThatAMinimalReaderReadsWhole)
{
    const std::string marked = "\xEF\xBB\xBF" + documents[1];
    objects[1].document = marked;
    const auto headers = headersOf(tarBytes(save()));
    ASSERT_EQ(headers.size(), 4u);
    for (const auto& header : headers) {
        EXPECT_EQ(header.magic, std::string("ustar  \0", 8)) << header.name;  // GNU, not POSIX "ustar\0" "00"
        EXPECT_EQ(header.type, '0') << header.name;
        EXPECT_EQ(header.prefix, "") << header.name;
    }
    EXPECT_EQ(headers[0].name, "archive.xml");
    for (std::size_t i = 0; i < documents.size(); ++i) {
        EXPECT_EQ(headers[i + 1].data, documents[i]);
        pugi::xml_document parsed;
        ASSERT_TRUE(parsed.load_string(headers[i + 1].data.c_str()));
        EXPECT_EQ(std::distance(parsed.children().begin(), parsed.children().end()), 1);
        EXPECT_STREQ(parsed.document_element().name(), "SceneObjectGroup");
    }
}

// A name of 100 bytes or more comes as a GNU long-name entry before its header, which
// OpenSim reads; a prefix field or PAX header it would ignore, and lose the entry.
TEST(GnuTarWriter, WritesLongNamesAsGnuLongNameEntries)
{
    test::FakeFileSystem files;
    files.addFolder("/w");
    auto out = files.create("/w/a.tar.gz", nullptr);
    const std::string longName = "objects/" + std::string(140, 'n') + "_128-128-025__6a1b2c3d-0000-4000-8000-000000101000.xml";
    {
        GnuTarWriter tar(*out, kCreatedAt);
        ASSERT_TRUE(tar.addEntry("archive.xml", "<archive/>"));
        ASSERT_TRUE(tar.addEntry(longName, "<SceneObjectGroup/>"));
        ASSERT_TRUE(tar.close());
    }
    ASSERT_TRUE(out->commit());
    const auto headers = headersOf(tarBytes(files.files["/w/a.tar.gz"]));
    ASSERT_EQ(headers.size(), 3u);
    EXPECT_EQ(headers[1].type, 'L');
    EXPECT_EQ(headers[1].data.substr(0, longName.size()), longName);
    EXPECT_EQ(headers[2].type, '0');
    EXPECT_EQ(headers[2].prefix, "");
    EXPECT_EQ(headers[2].data, "<SceneObjectGroup/>");
    EXPECT_EQ(entriesOf(files.files["/w/a.tar.gz"]).at(1), (Entry{longName, "<SceneObjectGroup/>"}));
}

TEST_F(RegionArchiveTest, ArchiveXmlDescribesOneRegionOfVersionZeroEight)
{
    for (const bool withAssets : {false, true}) {
        const auto entries = entriesOf(save({kCreatedAt, withAssets}));
        ASSERT_FALSE(entries.empty());
        ASSERT_EQ(entries[0].path, "archive.xml");
        const std::string& text = entries[0].bytes;
        EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char c) { return c > 0 && c < 0x7F; }));  // read as ASCII
        pugi::xml_document control;
        ASSERT_TRUE(control.load_string(text.c_str()));
        const pugi::xml_node root = control.document_element();
        EXPECT_STREQ(root.name(), "archive");
        EXPECT_STREQ(root.attribute("major_version").value(), "0");
        EXPECT_STREQ(root.attribute("minor_version").value(), "8");
        EXPECT_STREQ(root.child("creation_info").child_value("datetime"), "1700000000");
        EXPECT_STREQ(root.child_value("assets_included"), withAssets ? "True" : "False");
        EXPECT_STREQ(root.child("region_info").child_value("size_in_meters"), "256,256");
        // Either would make OpenSim read it as an archive of several regions.
        EXPECT_FALSE(control.select_node("//row"));
        EXPECT_FALSE(control.select_node("//regions"));
    }
}

TEST_F(RegionArchiveTest, ReadsBackThroughTheArchiveReaderAsTheSameObjects)
{
    const extract::SceneLoad load = extract::loadSceneArchive(save());
    ASSERT_TRUE(load && !load.cutOff) << test::failureOf(load).reason;
    ASSERT_EQ(load.objects.size(), documents.size());
    for (std::size_t i = 0; i < documents.size(); ++i) EXPECT_EQ(load.objects[i], documents[i]);
    EXPECT_EQ(load.positions, (std::vector<extract::ObjectPosition>{{128, 128}, {128, 131}, {124.1, 128}}));
}

TEST_F(RegionArchiveTest, CarriesRealObjectsWhole)
{
    const auto samples = test::sampleObjects();
    if (samples.empty()) GTEST_SKIP() << "no opensim-samples folder beside the project";
    objects.clear();
    for (const auto& sample : samples) objects.push_back(objectOf(sample.document));
    const extract::SceneLoad load = extract::loadSceneArchive(save());
    ASSERT_TRUE(load && !load.cutOff) << test::failureOf(load).reason;
    ASSERT_EQ(load.objects.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(load.objects[i], samples[i].document) << samples[i].file;
}

TEST_F(RegionArchiveTest, RefusesAMalformedObjectAndWritesNothing)
{
    files.files[kPath] = "earlier archive";
    const std::string broken = objectXml("Tables &nbsp; chairs", 4);
    objects.push_back(objectOf(broken));
    objects.push_back(objectOf(documents[0]));
    const ArchiveReport report = saveRegionArchive(files, kPath, objects, {kCreatedAt, false});
    ASSERT_FALSE(report);
    EXPECT_EQ(report.failure->error, ArchiveError::ObjectRefused);
    EXPECT_EQ(report.failure->objectNumber, 4u);
    EXPECT_EQ(report.failure->objectName, "Tables &nbsp; chairs");
    EXPECT_EQ(report.failure->fault, ObjectFault::NotWellFormed);
    EXPECT_EQ(report.objectCount, 0u);
    EXPECT_EQ(files.files[kPath], "earlier archive");
    EXPECT_TRUE(files.operations.empty());  // the file was not even begun
    EXPECT_EQ(files.openOutputs, 0);

    // Object by object, the refused object is not written and ends the archive.
    auto out = files.create("/out/other.oar", nullptr);
    RegionArchiveWriter writer(*out, {kCreatedAt, false});
    ASSERT_TRUE(writer.addObject(objects[0]));
    EXPECT_EQ(writer.addObject(objects[3]).failure->objectNumber, 2u);
    EXPECT_EQ(writer.addObject(objects[1]).objectCount, 1u);
    EXPECT_EQ(writer.finish().failure->error, ArchiveError::ObjectRefused);
}

TEST_F(RegionArchiveTest, SceneFileTextBecomesOneEntryPerObjectLine)
{
    // The text of a scene file in pieces that cut lines anywhere: the same archive as the objects.
    const std::string scene = "<scene>\r\n\r\n" + documents[0] + "\r\n" + documents[1] + "\r\n" + documents[2] +
                              "\r\n\r\n</scene>\r\n";
    {
        ArchiveOutputFile out(files.create("/out/lines.oar", nullptr), {kCreatedAt, false});
        for (std::size_t at = 0; at < scene.size(); at += 777) out.write(std::string_view(scene).substr(at, 777));
        ASSERT_TRUE(out.commit());
        EXPECT_EQ(out.report().objectCount, 3u);
    }
    EXPECT_EQ(entriesOf(files.files["/out/lines.oar"]), entriesOf(save()));

    // A refused object fails the commit with its number and name, and nothing is put in place.
    files.files["/out/refused.oar"] = "earlier";
    {
        ArchiveOutputFile out(files.create("/out/refused.oar", nullptr), {kCreatedAt, false});
        out.write("<scene>\r\n" + documents[0] + "\r\n" + objectXml("Tables &nbsp; chairs", 4) + "\r\n</scene>\r\n");
        std::string reason;
        EXPECT_FALSE(out.prepare(&reason));
        EXPECT_NE(reason.find("object 2 (\"Tables &nbsp; chairs\")"), std::string::npos) << reason;
        EXPECT_EQ(out.commitNew(&reason), platform::NewFileCommit::Failed);
    }
    EXPECT_EQ(files.files["/out/refused.oar"], "earlier");
    {
        ArchiveOutputFile out(files.create("/out/empty.oar", nullptr), {kCreatedAt, false});
        out.write("<scene>\r\n\r\n\r\n</scene>\r\n");
        std::string reason;
        EXPECT_FALSE(out.commit(&reason));
        EXPECT_EQ(reason, "the archive would hold no object");
    }
    EXPECT_FALSE(files.exists("/out/empty.oar"));
    // A line longer than any object may be (one linkset of a whole large listing) is refused.
    {
        ArchiveOutputFile out(files.create("/out/large.oar", nullptr), {kCreatedAt, false});
        out.write(documents[0] + "\r\n<SceneObjectGroup>");
        const std::string piece(std::size_t{1} << 20, 'x');
        for (int i = 0; i < 64; ++i) out.write(piece);
        out.write("</SceneObjectGroup>\r\n" + documents[1] + "\r\n");
        std::string reason;
        EXPECT_FALSE(out.commit(&reason));
        EXPECT_EQ(reason, "object 2 would stop OpenSim's load of the whole archive: 67108901 bytes, more than the "
                          "67108864 an object may hold");
    }
    EXPECT_FALSE(files.exists("/out/large.oar"));
    EXPECT_EQ(files.openOutputs, 0);
}

TEST_F(RegionArchiveTest, RefusesAnArchiveWithoutObjects)
{
    const ArchiveReport report = saveRegionArchive(files, kPath, {}, {kCreatedAt, false});
    ASSERT_FALSE(report);
    EXPECT_EQ(report.failure->error, ArchiveError::NoObjects);
    EXPECT_FALSE(files.exists(kPath));
    EXPECT_TRUE(files.operations.empty());

    auto out = files.create(kPath, nullptr);
    RegionArchiveWriter writer(*out, {kCreatedAt, false});
    EXPECT_EQ(writer.finish().failure->error, ArchiveError::NoObjects);
}

TEST_F(RegionArchiveTest, LeavesNothingWhenTheFileCannotBeMade)
{
    files.refuseCreate.insert(kPath);
    ArchiveReport report = saveRegionArchive(files, kPath, objects, {kCreatedAt, false});
    ASSERT_FALSE(report);
    EXPECT_EQ(report.failure->error, ArchiveError::OutputFailed);
    EXPECT_EQ(report.failure->path, kPath);

    files.refuseCreate.clear();
    files.failCommit.insert(kPath);
    report = saveRegionArchive(files, kPath, objects, {kCreatedAt, false});
    ASSERT_FALSE(report);
    EXPECT_EQ(report.failure->error, ArchiveError::OutputFailed);
    EXPECT_EQ(report.failure->reason, "disk full");
    EXPECT_FALSE(files.exists(kPath));
    EXPECT_EQ(files.openOutputs, 0);
}

struct AssetCase {
    const char* label;
    AssetName asset;
    std::uint64_t size;
    std::string bytes;
    bool failAtEnd;
    bool withAssets;
    ArchiveError error;
};

TEST(RegionArchiveAssets, RefusesAssetsThatDoNotHoldTheirSizeOrName)
{
    const std::string uuid = "6a1b2c3d-0000-4000-8000-00000000000a";
    const AssetCase cases[] = {
        {"fewer bytes", {uuid, AssetType::Texture}, 5000, std::string(4999, 'x'), false, true, ArchiveError::AssetSizeWrong},
        {"more bytes", {uuid, AssetType::Texture}, 5000, std::string(5001, 'x'), false, true, ArchiveError::AssetSizeWrong},
        {"unreadable", {uuid, AssetType::Texture}, 5000, std::string(3000, 'x'), true, true, ArchiveError::AssetUnreadable},
        {"no UUID", {"texture", AssetType::Texture}, 1, "x", false, true, ArchiveError::AssetRefused},
        {"type without suffix", {uuid, static_cast<AssetType>(4)}, 1, "x", false, true, ArchiveError::AssetRefused},
        {"too large", {uuid, AssetType::Mesh}, kLargestAssetBytes + 1, "x", false, true, ArchiveError::AssetRefused},
        {"not declared", {uuid, AssetType::Texture}, 1, "x", false, false, ArchiveError::AssetsNotDeclared},
    };
    const std::string document = objectXml("Floor", 1);
    for (const auto& [label, asset, size, bytes, failAtEnd, withAssets, error] : cases) {
        test::FakeFileSystem files;
        files.addFolder("/w");
        auto out = files.create("/w/a.oar", nullptr);
        RegionArchiveWriter writer(*out, {kCreatedAt, withAssets});
        ASSERT_TRUE(writer.addObject(objectOf(document))) << label;
        PieceStream stream(bytes);
        stream.failAtEnd = failAtEnd;
        const ArchiveReport& report = writer.addAsset(asset, size, stream);
        ASSERT_FALSE(report) << label;
        EXPECT_EQ(report.failure->error, error) << label;
        EXPECT_EQ(report.failure->assetUuid, asset.uuid) << label;
        EXPECT_EQ(report.assetCount, 0u) << label;
        EXPECT_FALSE(writer.finish()) << label;
    }
}

}  // namespace
}  // namespace vantor::archive
