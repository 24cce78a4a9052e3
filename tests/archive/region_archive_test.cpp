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
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vantor::archive {
namespace {

constexpr std::int64_t kCreatedAt = 1700000000;
const std::string kPath = "/out/build.oar";

// The uncompressed tar stream of a gzip-compressed one.
std::string tarBytes(const std::string& bytes)
{
    std::unique_ptr<::archive, decltype(&archive_read_free)> reader(archive_read_new(), archive_read_free);
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
    std::string name;   // the 100-byte name field, up to its first NUL
    char type = 0;      // the type flag
    std::string magic;  // "ustar  \0" in GNU format
    std::string data;
};

// The entries of a compressed tar read as a minimal reader reads them (as OpenSim's does):
// 512-byte headers, octal sizes, data padded to 512 bytes, a zero byte ending the archive.
std::vector<Header> headersOf(const std::string& compressed)
{
    const std::string tar = tarBytes(compressed);
    const auto field = [&tar](std::size_t at, std::size_t length) {
        const std::string text = tar.substr(at, length);
        return text.substr(0, text.find('\0'));
    };
    std::vector<Header> headers;
    for (std::size_t at = 0; at + 512 <= tar.size() && tar[at] != '\0';) {
        const std::size_t size = std::stoul(field(at + 124, 12), nullptr, 8);
        headers.push_back({field(at, 100), tar[at + 156], tar.substr(at + 257, 8), tar.substr(at + 512, size)});
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

const std::string kBroken = objectXml("Tables &nbsp; chairs", 4);

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
        auto out = files.create(kPath, nullptr);
        RegionArchiveWriter writer(*out, options);
        for (const ArchiveObject& object : objects) (void)writer.addObject(object);
        const ArchiveReport& report = writer.finish();
        EXPECT_TRUE(report) << (report ? "" : report.failure->reason);
        EXPECT_EQ(report.objectCount, objects.size());
        EXPECT_TRUE(out->commit(nullptr));
        return files.files[kPath];
    }

    test::FakeFileSystem files;
    std::vector<std::string> documents;
    std::vector<ArchiveObject> objects;
};

// Gives an asset's bytes a few at a time, then fails or goes on past them if told to.
class PieceStream final : public platform::InputStream {
public:
    explicit PieceStream(std::string bytes, bool failAtEnd = false) : m_bytes(std::move(bytes)), m_failAtEnd(failAtEnd) {}
    std::optional<std::size_t> read(char* into, std::size_t size, std::string* reason) override
    {
        largestAsk = std::max(largestAsk, size);
        if (m_at == m_bytes.size() && m_failAtEnd) {
            if (reason) *reason = "device gone";
            return std::nullopt;
        }
        const std::size_t count = std::min({size, std::size_t{1000}, m_bytes.size() - m_at});
        std::copy_n(m_bytes.data() + m_at, count, into);
        m_at += count;
        return count;
    }
    std::size_t largestAsk = 0;

private:
    std::string m_bytes;
    bool m_failAtEnd;
    std::size_t m_at = 0;
};

// archive.xml first, then each object, then each asset, as plain files of a GNU tar (not
// POSIX "ustar\0" "00", whose long names OpenSim would lose). Each object entry holds its one
// group without the byte order mark it came with; assets are copied exactly, in pieces.
TEST_F(RegionArchiveTest, WritesGnuTarEntriesInTheOrderOpenSimReads)
{
    const std::string marked = "\xEF\xBB\xBF" + documents[1];
    objects[1].document = marked;
    auto out = files.create(kPath, nullptr);
    ASSERT_TRUE(out);
    const std::string texture(200000, 'T');
    {
        RegionArchiveWriter writer(*out, {kCreatedAt, true});
        for (const auto& object : objects) ASSERT_TRUE(writer.addObject(object));
        PieceStream stream(texture);
        ASSERT_TRUE(writer.addAsset({"6A1B2C3D-0000-4000-8000-00000000000A", AssetType::Texture}, texture.size(), stream));
        EXPECT_LE(stream.largestAsk, std::size_t{1} << 16);
        PieceStream script("default { }");
        const ArchiveReport& report = writer.addAsset({"6a1b2c3d-0000-4000-8000-00000000000b", AssetType::Script}, 11, script);
        ASSERT_TRUE(report);
        EXPECT_EQ(report.objectCount, 3u);
        EXPECT_EQ(report.assetCount, 2u);
        ASSERT_TRUE(writer.finish());
    }
    ASSERT_TRUE(out->commit());

    const auto headers = headersOf(files.files[kPath]);
    std::vector<std::string> names;
    for (const auto& header : headers) {
        names.push_back(header.name);
        EXPECT_EQ(header.magic, std::string("ustar  \0", 8)) << header.name;
        EXPECT_EQ(header.type, '0') << header.name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{
                         "archive.xml",
                         "objects/Floor_128-128-022__6a1b2c3d-0000-4000-8000-000000101000.xml",
                         "objects/North wall_128-131-023__6a1b2c3d-0000-4000-8000-000000102000.xml",
                         "objects/Chaise _l_gante_124-128-024__6a1b2c3d-0000-4000-8000-000000103000.xml",
                         "assets/6a1b2c3d-0000-4000-8000-00000000000a_texture.jp2",
                         "assets/6a1b2c3d-0000-4000-8000-00000000000b_script.lsl",
                     }));
    ASSERT_EQ(headers.size(), 6u);
    for (std::size_t i = 0; i < documents.size(); ++i) EXPECT_EQ(headers[i + 1].data, documents[i]);
    EXPECT_EQ(headers[4].data, texture);
    EXPECT_EQ(headers[5].data, "default { }");
}

TEST_F(RegionArchiveTest, ArchiveXmlDescribesOneRegionOfVersionZeroEight)
{
    for (const bool withAssets : {false, true}) {
        const auto headers = headersOf(save({kCreatedAt, withAssets}));
        ASSERT_FALSE(headers.empty());
        ASSERT_EQ(headers[0].name, "archive.xml");
        const std::string& text = headers[0].data;
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

// The objects made here and every object of the real OpenSim samples come back whole.
TEST_F(RegionArchiveTest, ReadsBackThroughTheArchiveReaderAsTheSameObjects)
{
    const auto samples = test::sampleObjects();
    for (const auto& sample : samples) {
        documents.push_back(sample.document);
        objects.push_back(objectOf(sample.document));
    }
    extract::SceneLoad load = extract::loadSceneArchive(save());
    ASSERT_TRUE(load && !load.cutOff) << test::failureOf(load).reason;
    ASSERT_EQ(load.objects.size(), documents.size());
    for (std::size_t i = 0; i < documents.size(); ++i) EXPECT_EQ(load.objects[i], documents[i]) << "object " << i + 1;
    load.positions.resize(3);
    EXPECT_EQ(load.positions, (std::vector<extract::ObjectPosition>{{128, 128}, {128, 131}, {124.1, 128}}));
    if (samples.empty()) GTEST_SKIP() << "no opensim-samples folder beside the project";
}

// The text of a scene file in pieces that cut lines anywhere: the same archive as the objects.
TEST_F(RegionArchiveTest, SceneFileTextBecomesOneEntryPerObjectLine)
{
    const std::string scene = "<scene>\r\n\r\n" + documents[0] + "\r\n" + documents[1] + "\r\n" + documents[2] +
                              "\r\n\r\n</scene>\r\n";
    ArchiveOutputFile out(files.create("/out/lines.oar", nullptr), {kCreatedAt, false});
    for (std::size_t at = 0; at < scene.size(); at += 777) out.write(std::string_view(scene).substr(at, 777));
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(out.report().objectCount, 3u);
    EXPECT_EQ(tarBytes(files.files["/out/lines.oar"]), tarBytes(save()));
}

// A scene file's text that would make a broken archive fails every commit with the reason,
// and the file of that name stays as it was.
TEST_F(RegionArchiveTest, SceneFileTextThatMakesNoArchiveLeavesTheEarlierFile)
{
    const struct {
        const char* name;
        std::function<void(ArchiveOutputFile&)> write;
        std::string reason;
    } cases[] = {
        {"refused object",
         [&](ArchiveOutputFile& out) { out.write("<scene>\r\n" + documents[0] + "\r\n" + kBroken + "\r\n</scene>\r\n"); },
         "object 2 (\"Tables &nbsp; chairs\")"},
        {"no object", [](ArchiveOutputFile& out) { out.write("<scene>\r\n\r\n\r\n</scene>\r\n"); },
         "the archive would hold no object"},
        // A line longer than any object may be (one linkset of a whole large listing) is not held.
        {"object too large",
         [&](ArchiveOutputFile& out) {
             out.write(documents[0] + "\r\n<SceneObjectGroup>");
             const std::string piece(std::size_t{1} << 20, 'x');
             for (int i = 0; i < 64; ++i) out.write(piece);
             out.write("</SceneObjectGroup>\r\n" + documents[1] + "\r\n");
         },
         "object 2 would stop OpenSim's load of the whole archive: 67108901 bytes, more than the 67108864 an object "
         "may hold"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        files.files[kPath] = "earlier";
        {
            ArchiveOutputFile out(files.create(kPath, nullptr), {kCreatedAt, false});
            row.write(out);
            std::string reason;
            EXPECT_FALSE(out.prepare(&reason));
            EXPECT_NE(reason.find(row.reason), std::string::npos) << reason;
            EXPECT_EQ(out.commitNew(&reason), platform::NewFileCommit::Failed);
            EXPECT_FALSE(out.commit(&reason));
        }
        EXPECT_EQ(files.files[kPath], "earlier");
        EXPECT_EQ(files.openOutputs, 0);
    }
}

// Object by object, a refused object or asset is not written and ends the archive.
TEST(RegionArchiveWriter, TheFirstFailureEndsTheArchive)
{
    const std::string uuid = "6a1b2c3d-0000-4000-8000-00000000000a";
    const struct {
        const char* name;
        AssetName asset;
        std::uint64_t size;
        std::string bytes;
        bool failAtEnd;
        bool withAssets;
        ArchiveError error;
    } cases[] = {
        {"fewer bytes", {uuid, AssetType::Texture}, 5000, std::string(4999, 'x'), false, true, ArchiveError::AssetSizeWrong},
        {"more bytes", {uuid, AssetType::Texture}, 5000, std::string(5001, 'x'), false, true, ArchiveError::AssetSizeWrong},
        {"unreadable", {uuid, AssetType::Texture}, 5000, std::string(3000, 'x'), true, true, ArchiveError::AssetUnreadable},
        {"no UUID", {"texture", AssetType::Texture}, 1, "x", false, true, ArchiveError::AssetRefused},
        {"type without suffix", {uuid, static_cast<AssetType>(4)}, 1, "x", false, true, ArchiveError::AssetRefused},
        {"too large", {uuid, AssetType::Mesh}, kLargestAssetBytes + 1, "x", false, true, ArchiveError::AssetRefused},
        {"not declared", {uuid, AssetType::Texture}, 1, "x", false, false, ArchiveError::AssetsNotDeclared},
    };
    const std::string document = objectXml("Floor", 1);
    const ArchiveObject object = objectOf(document);
    test::FakeFileSystem files;
    files.addFolder("/w");
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        auto out = files.create("/w/a.oar", nullptr);
        RegionArchiveWriter writer(*out, {kCreatedAt, row.withAssets});
        ASSERT_TRUE(writer.addObject(object));
        PieceStream stream(row.bytes, row.failAtEnd);
        const ArchiveReport& report = writer.addAsset(row.asset, row.size, stream);
        ASSERT_FALSE(report);
        EXPECT_EQ(report.failure->error, row.error);
        EXPECT_EQ(report.failure->assetUuid, row.asset.uuid);
        EXPECT_EQ(report.assetCount, 0u);
        EXPECT_EQ(writer.finish().failure->error, row.error);
    }
    auto none = files.create("/w/none.oar", nullptr);
    EXPECT_EQ(RegionArchiveWriter(*none, {kCreatedAt, false}).finish().failure->error, ArchiveError::NoObjects);
    auto out = files.create("/w/b.oar", nullptr);
    RegionArchiveWriter writer(*out, {kCreatedAt, false});
    ASSERT_TRUE(writer.addObject(object));
    EXPECT_EQ(writer.addObject(objectOf(kBroken)).failure->objectNumber, 2u);
    EXPECT_EQ(writer.addObject(object).objectCount, 1u);
    EXPECT_EQ(writer.finish().failure->error, ArchiveError::ObjectRefused);
}

}  // namespace
}  // namespace vantor::archive
