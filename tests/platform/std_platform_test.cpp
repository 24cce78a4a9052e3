#include "platform/std_platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using vantor::platform::StdFileSystem;

namespace {

class StdFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path()
            / ("vantor-fs-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::string path(const std::string& name) const { return (m_folder / name).string(); }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_folder), {})); }

    fs::path m_folder;
    StdFileSystem m_files;
};

TEST_F(StdFileSystemTest, OutputReplacesTheTargetOnlyOnCommit)
{
    std::ofstream(path("scene.xml"), std::ios::binary) << "old";
    auto dropped = m_files.create(path("scene.xml"), nullptr);
    ASSERT_TRUE(dropped);
    dropped->write("half");
    dropped.reset();
    auto out = m_files.create(path("scene.xml"), nullptr);
    ASSERT_TRUE(out);
    out->write("new\r\n");
    EXPECT_EQ(*m_files.readAll(path("scene.xml"), nullptr), "old");
    ASSERT_TRUE(out->commit(nullptr));
    out.reset();
    EXPECT_EQ(*m_files.readAll(path("scene.xml"), nullptr), "new\r\n");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(StdFileSystemTest, PiecesOfEverySizeArriveWholeAndInOrder)
{
    // Small pieces gather in the output's buffer, pieces as large as the buffer go straight
    // to the file; around the buffer's edge both must keep the order.
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    const std::vector<std::size_t> sizes = {1, kMiB - 2, 1, 1, 2, kMiB, 3, 2 * kMiB + 5, 0, kMiB - 1, kMiB + 1, 7, 4096};
    auto out = m_files.create(path("big.bin"), nullptr);
    ASSERT_TRUE(out);
    std::string expected;
    char next = 'a';
    for (const std::size_t size : sizes) {
        std::string piece(size, '\0');
        for (char& c : piece) c = next = static_cast<char>(next == 'z' ? 'a' : next + 1);
        out->write(piece);
        expected += piece;
    }
    ASSERT_TRUE(out->commit(nullptr));
    out.reset();
    const auto written = m_files.readAll(path("big.bin"), nullptr);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->size(), expected.size());
    EXPECT_TRUE(*written == expected);
}

TEST_F(StdFileSystemTest, SharedReadsGiveTheWholeFileSmallOrLarge)
{
    // Large files are read in two halves at once; the halves must meet exactly.
    for (const std::size_t size : {std::size_t{5}, (std::size_t{8} << 20) + 3}) {
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + (i * 7 + i / 4099) % 26);
        std::ofstream(path("scene.xml"), std::ios::binary) << content;
        const auto shared = m_files.readShared(path("scene.xml"), nullptr);
        ASSERT_TRUE(shared);
        EXPECT_TRUE(shared->bytes == content) << "size " << size;
        // Mapped, the bytes stay the file's even after the file is replaced by a rename.
        const vantor::platform::StdFileSystem mapping(vantor::platform::LargeFileReading::Map);
        const auto mapped = mapping.readShared(path("scene.xml"), nullptr);
        ASSERT_TRUE(mapped);
        std::ofstream(path("next.xml"), std::ios::binary) << "other";
        std::filesystem::rename(path("next.xml"), path("scene.xml"));
        EXPECT_TRUE(mapped->bytes == content) << "size " << size;
    }
    std::string reason;
    EXPECT_FALSE(m_files.readShared(path("nothing.xml"), &reason));
    EXPECT_FALSE(reason.empty());
}

TEST_F(StdFileSystemTest, ReportsWhyAFileCannotBeCreatedOrRead)
{
    std::string reason;
    EXPECT_FALSE(m_files.create(path("missing/scene.xml"), &reason));
    EXPECT_FALSE(reason.empty());
    reason.clear();
    EXPECT_FALSE(m_files.readAll(path("nothing.txt"), &reason));
    EXPECT_FALSE(reason.empty());
}

TEST_F(StdFileSystemTest, ListsFilesBySuffixInNameOrder)
{
    for (const char* name : {"FR.lng", "EN.lng", "notes.txt", "DE.lng"}) std::ofstream(path(name)) << "x";
    fs::create_directories(m_folder / "sub.lng");
    EXPECT_EQ(m_files.listFiles(m_folder.string(), ".lng"), (std::vector<std::string>{"DE.lng", "EN.lng", "FR.lng"}));
    EXPECT_EQ(m_files.listFiles(m_folder.string(), "").size(), 4u);
    EXPECT_TRUE(m_files.exists(path("FR.lng")));
    EXPECT_FALSE(m_files.exists(path("sub.lng")));
    EXPECT_TRUE(m_files.isDirectory(path("sub.lng")));
}

TEST(StdRandomSource, DrawsInTheHalfOpenUnitRangeAndDiffersBetweenStarts)
{
    vantor::platform::StdRandomSource first;
    vantor::platform::StdRandomSource second;
    std::set<float> seen;
    bool differ = false;
    for (int i = 0; i < 1000; ++i) {
        const float a = first.next();
        const float b = second.next();
        ASSERT_GE(a, 0.0f);
        ASSERT_LT(a, 1.0f);
        seen.insert(a);
        differ = differ || a != b;
    }
    EXPECT_TRUE(differ);
    EXPECT_GT(seen.size(), 900u);
}

}  // namespace
