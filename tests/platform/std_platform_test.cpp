#include "platform/std_platform.h"
#include "testing/first_difference.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using vantor::platform::StdFileSystem;
using vantor::test::firstDifference;

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

TEST_F(StdFileSystemTest, AReplacedFileKeepsItsPermissionsAndALinkIsWrittenThrough)
{
    std::ofstream(path("real.xml"), std::ios::binary) << "old";
    fs::permissions(path("real.xml"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.xml", path("link.xml"));
    fs::create_directories(m_folder / "sub");
    fs::create_symlink("../link.xml", m_folder / "sub" / "chain.xml");  // a relative link to a link
    for (const char* name : {"real.xml", "link.xml", "sub/chain.xml"}) {
        auto out = m_files.create(path(name), nullptr);
        ASSERT_TRUE(out) << name;
        out->write(std::string("via ") + name);
        ASSERT_TRUE(out->commit(nullptr)) << name;
        out.reset();
        EXPECT_TRUE(fs::is_symlink(path("link.xml")));
        EXPECT_TRUE(fs::is_symlink(m_folder / "sub" / "chain.xml"));
        EXPECT_EQ(*m_files.readAll(path("real.xml"), nullptr), std::string("via ") + name);
        EXPECT_EQ(fs::status(path("real.xml")).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    }
    EXPECT_EQ(entries(), 3u);  // real.xml, link.xml, sub and no temporary file
    // A link that points nowhere yet gives its file.
    fs::create_symlink("later.xml", path("dangling.xml"));
    auto out = m_files.create(path("dangling.xml"), nullptr);
    ASSERT_TRUE(out);
    out->write("made");
    ASSERT_TRUE(out->commit(nullptr));
    EXPECT_EQ(*m_files.readAll(path("later.xml"), nullptr), "made");
}

TEST_F(StdFileSystemTest, RevertPutsBackTheEarlierFileOrNone)
{
    std::ofstream(path("copy.txt"), std::ios::binary) << "earlier bytes";
    fs::permissions(path("copy.txt"), fs::perms::owner_read | fs::perms::owner_write);
    auto replacing = m_files.create(path("copy.txt"), nullptr);
    auto fresh = m_files.create(path("new.txt"), nullptr);
    ASSERT_TRUE(replacing && fresh);
    replacing->write("later bytes");
    fresh->write("new");
    EXPECT_FALSE(replacing->revert());  // nothing committed yet
    ASSERT_TRUE(replacing->commit(nullptr) && fresh->commit(nullptr));
    EXPECT_EQ(*m_files.readAll(path("copy.txt"), nullptr), "later bytes");
    EXPECT_TRUE(replacing->revert());
    EXPECT_TRUE(fresh->revert());
    replacing.reset();
    fresh.reset();
    EXPECT_EQ(*m_files.readAll(path("copy.txt"), nullptr), "earlier bytes");
    EXPECT_EQ(fs::status(path("copy.txt")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(fs::exists(path("new.txt")));
    EXPECT_EQ(entries(), 1u);
}

// A file that must not replace another: placed while the name is free, left out when a file
// took the name after the output was created; a prepared file waits for its rename alone.
TEST_F(StdFileSystemTest, CommitNewNeverReplacesAndAPreparedFileNeedsOnlyItsRename)
{
    using vantor::platform::NewFileCommit;
    auto fresh = m_files.create(path("scene.xml"), nullptr);
    auto late = m_files.create(path("scene.xml"), nullptr);
    ASSERT_TRUE(fresh && late);
    fresh->write("first");
    late->write("second");
    ASSERT_TRUE(fresh->prepare(nullptr));
    ASSERT_TRUE(late->prepare(nullptr));
    EXPECT_FALSE(fs::exists(path("scene.xml")));
    EXPECT_EQ(fresh->commitNew(nullptr), NewFileCommit::Placed);
    std::string reason;
    EXPECT_EQ(late->commitNew(&reason), NewFileCommit::NameTaken);
    EXPECT_EQ(reason, "File exists");
    late.reset();
    EXPECT_EQ(*m_files.readAll(path("scene.xml"), nullptr), "first");
    EXPECT_EQ(entries(), 1u);  // the dropped file's temporary name went with it

    // Placed new, a revert takes it out again; a link to nowhere yet gives its file.
    EXPECT_TRUE(fresh->revert());
    fresh.reset();
    EXPECT_EQ(entries(), 0u);
    fs::create_symlink("later.xml", path("dangling.xml"));
    auto linked = m_files.create(path("dangling.xml"), nullptr);
    ASSERT_TRUE(linked);
    linked->write("made");
    EXPECT_EQ(linked->commitNew(nullptr), NewFileCommit::Placed);
    EXPECT_EQ(*m_files.readAll(path("later.xml"), nullptr), "made");
}

TEST_F(StdFileSystemTest, FailuresGiveAReasonAndReplaceNoFolderOrDevice)
{
    fs::create_directories(m_folder / "scene.xml");
    for (const std::string& target : {path("scene.xml"), std::string("/dev/null"), path("missing/scene.xml")}) {
        std::string reason;
        EXPECT_FALSE(m_files.create(target, &reason)) << target;
        EXPECT_FALSE(reason.empty()) << target;
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(entries(), 1u);
    std::string readReason, sharedReason;
    EXPECT_FALSE(m_files.readAll(path("nothing.txt"), &readReason));
    EXPECT_FALSE(m_files.readShared(path("nothing.xml"), &sharedReason));
    EXPECT_FALSE(readReason.empty());
    EXPECT_FALSE(sharedReason.empty());
}

TEST_F(StdFileSystemTest, KindOfTellsWhatAPathIs)
{
    fs::create_directories(m_folder / "scene.xml");
    std::ofstream(path("plain.txt")) << "x";
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    using vantor::platform::PathKind;
    EXPECT_EQ(m_files.kindOf(path("plain.txt")), PathKind::RegularFile);
    EXPECT_EQ(m_files.kindOf(path("scene.xml")), PathKind::Folder);
    EXPECT_EQ(m_files.kindOf(path("pipe")), PathKind::Other);
    EXPECT_EQ(m_files.kindOf("/dev/zero"), PathKind::Other);
    EXPECT_EQ(m_files.kindOf(path("nothing")), PathKind::Missing);
}

TEST_F(StdFileSystemTest, AKilledWriterLeavesNoTemporaryFile)
{
    // Only file systems with unnamed temporary files can promise this.
    const int probe = ::open(m_folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (probe < 0) GTEST_SKIP() << "no unnamed temporary files here";
    ::close(probe);
    std::ofstream(path("scene.xml"), std::ios::binary) << "earlier";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto out = m_files.create(path("scene.xml"), nullptr);
        if (out) out->write(std::string(std::size_t{3} << 20, 'x'));
        const char done = out ? 'y' : 'n';
        (void)!::write(ready[1], &done, 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    EXPECT_EQ(::read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(entries(), 1u);
    EXPECT_EQ(*m_files.readAll(path("scene.xml"), nullptr), "earlier");
}

TEST_F(StdFileSystemTest, PiecesOfEverySizeArriveWholeInOrder)
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
    EXPECT_EQ(firstDifference(*written, expected), std::nullopt);
}

TEST_F(StdFileSystemTest, SharedReadsGiveTheWholeFileSmallOrLarge)
{
    // Small files are copied; large ones are too, or mapped.
    for (const std::size_t size : {std::size_t{5}, (std::size_t{8} << 20) + 3}) {
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + (i * 7 + i / 4099) % 26);
        std::ofstream(path("scene.xml"), std::ios::binary) << content;
        const auto shared = m_files.readShared(path("scene.xml"), nullptr);
        ASSERT_TRUE(shared);
        EXPECT_EQ(firstDifference(shared->bytes, content), std::nullopt) << "size " << size;
        // Mapped, the bytes stay the file's even after the file is replaced by a rename.
        const vantor::platform::StdFileSystem mapping(vantor::platform::LargeFileReading::Map);
        const auto mapped = mapping.readShared(path("scene.xml"), nullptr);
        ASSERT_TRUE(mapped);
        std::ofstream(path("next.xml"), std::ios::binary) << "other";
        std::filesystem::rename(path("next.xml"), path("scene.xml"));
        EXPECT_EQ(firstDifference(mapped->bytes, content), std::nullopt) << "size " << size;
    }
}

// OpenSim may rewrite or shorten a region file while a command has it mapped: the part cut off
// reads as zeros instead of ending the process (SIGBUS), and the bytes say they changed.
TEST_F(StdFileSystemTest, AMappedFileThatChangesSaysSoWithoutCrashing)
{
    const std::size_t size = (std::size_t{8} << 20) + 3;  // large enough to be mapped
    const std::string content(size, 'x');
    const StdFileSystem mapping(vantor::platform::LargeFileReading::Map);
    for (const bool shrink : {true, false}) {
        std::ofstream(path("scene.xml"), std::ios::binary) << content;
        const auto mapped = mapping.readShared(path("scene.xml"), nullptr);
        ASSERT_TRUE(mapped);
        ASSERT_TRUE(mapped->changed);
        EXPECT_FALSE(mapped->changed());
        if (shrink) {
            ASSERT_EQ(::truncate(path("scene.xml").c_str(), 4096), 0);
        } else {
            std::fstream(path("scene.xml"), std::ios::binary | std::ios::in | std::ios::out) << "rewritten";
            const struct timespec later[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 10, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, path("scene.xml").c_str(), later, 0), 0);
        }
        // Every byte is touched in a child, which a SIGBUS would end.
        const pid_t child = ::fork();
        if (child == 0) {
            std::size_t xs = 0;
            for (const char c : mapped->bytes) xs += c == 'x' ? 1 : 0;
            ::_exit(mapped->changed() ? (xs >= 4096 ? 0 : 2) : 3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status)) << (shrink ? "shrunk" : "rewritten") << ": signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << (shrink ? "shrunk" : "rewritten");
    }
    // Read by copy, the bytes are the file's as it was read, whatever happens to it later.
    std::ofstream(path("scene.xml"), std::ios::binary) << content;
    const auto copied = m_files.readShared(path("scene.xml"), nullptr);
    ASSERT_TRUE(copied);
    ASSERT_EQ(::truncate(path("scene.xml").c_str(), 10), 0);
    EXPECT_EQ(firstDifference(copied->bytes, content), std::nullopt);
    EXPECT_FALSE(copied->changed && copied->changed());
}

// A streamed file that is shortened, grows or is rewritten while it is read fails at its end.
TEST_F(StdFileSystemTest, AStreamedFileThatChangesWhileReadFailsAtItsEnd)
{
    for (const char* change : {"none", "shrink", "grow"}) {
        std::ofstream(path("region.oar"), std::ios::binary) << std::string(1 << 20, 'a');
        auto stream = m_files.openStream(path("region.oar"), nullptr);
        ASSERT_TRUE(stream);
        std::string block(1 << 16, '\0');
        ASSERT_EQ(stream->read(block.data(), block.size(), nullptr), block.size());
        if (std::string(change) == "shrink") {
            ASSERT_EQ(::truncate(path("region.oar").c_str(), 100 << 10), 0);
        }
        if (std::string(change) == "grow") std::ofstream(path("region.oar"), std::ios::binary | std::ios::app) << "more";
        std::string reason;
        std::optional<std::size_t> got;
        while ((got = stream->read(block.data(), block.size(), &reason)) && *got > 0) {
        }
        EXPECT_EQ(got.has_value(), std::string(change) == "none") << change;
        EXPECT_EQ(stream->changed(), std::string(change) != "none") << change;
        if (!got) {
            EXPECT_EQ(reason, "the file changed while it was read") << change;
        }
    }
}

// Unpacking must leave the scratch folder's disk its reserve (others write there too, so the
// bounds are wide).
TEST_F(StdFileSystemTest, ScratchFilesLeaveTheirDiskItsReserve)
{
    const char* const earlier = std::getenv("TMPDIR");
    const std::string kept = earlier ? earlier : "";
    ::setenv("TMPDIR", m_folder.c_str(), 1);
    const std::string mebibyte(1 << 20, 's');
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    for (const bool roomFor20MiB : {true, false}) {
        struct statvfs room {};
        ASSERT_EQ(::statvfs(m_folder.c_str(), &room), 0);
        const std::uint64_t free = static_cast<std::uint64_t>(room.f_bavail) * room.f_frsize;
        if (free < 1024 * kMiB) GTEST_SKIP() << "too little free room to try";
        // A reserve 20 MiB under the free room, or over it.
        const StdFileSystem files(vantor::platform::LargeFileReading::Copy, roomFor20MiB ? free - 20 * kMiB : free + 1024 * kMiB);
        auto scratch = files.scratch(nullptr);
        ASSERT_TRUE(scratch);
        EXPECT_EQ(scratch->folder(), m_folder.string());
        int taken = 0;
        while (taken < 100 && scratch->append(mebibyte)) ++taken;
        if (roomFor20MiB) {
            EXPECT_GT(taken, 0);
            EXPECT_LT(taken, 100);
        } else {
            EXPECT_EQ(taken, 0);
        }
    }
    earlier ? ::setenv("TMPDIR", kept.c_str(), 1) : ::unsetenv("TMPDIR");
}

TEST_F(StdFileSystemTest, SameFileUnderAnotherNameOrThroughALinkIsTheSameFile)
{
    std::ofstream(path("scene.xml"), std::ios::binary) << "x";
    std::ofstream(path("other.xml"), std::ios::binary) << "x";
    fs::create_symlink(path("scene.xml"), path("link.xml"));
    fs::create_hard_link(path("scene.xml"), path("hard.xml"));
    EXPECT_TRUE(m_files.isSameFile(path("link.xml"), path("scene.xml")));
    EXPECT_TRUE(m_files.isSameFile(path("hard.xml"), m_folder.string() + "/./scene.xml"));
    EXPECT_FALSE(m_files.isSameFile(path("other.xml"), path("scene.xml")));
    EXPECT_FALSE(m_files.isSameFile(path("missing.xml"), path("missing.xml")));
}

TEST_F(StdFileSystemTest, ScratchFilesGiveBackWhatWasAppendedWithoutATrace)
{
    const char* const earlier = std::getenv("TMPDIR");
    const std::string kept = earlier ? earlier : "";
    // The folder of $TMPDIR, or the next one when that is missing.
    for (const std::string& folder : {m_folder.string(), path("missing")}) {
        ::setenv("TMPDIR", folder.c_str(), 1);
        std::string expected;
        auto scratch = m_files.scratch(nullptr);
        ASSERT_TRUE(scratch) << folder;
        for (const std::size_t size : {std::size_t{0}, std::size_t{3}, (std::size_t{1} << 20) + 5, std::size_t{7}}) {
            const std::string piece(size, static_cast<char>('a' + size % 26));
            ASSERT_TRUE(scratch->append(piece));
            expected += piece;
        }
        const auto block = scratch->finish(nullptr);
        ASSERT_TRUE(block);
        EXPECT_EQ(firstDifference(block->bytes, expected), std::nullopt);
        EXPECT_EQ(entries(), 0u) << "a scratch file has a name in " << folder;
        auto empty = m_files.scratch(nullptr);
        ASSERT_TRUE(empty);
        const auto nothing = empty->finish(nullptr);
        ASSERT_TRUE(nothing);
        EXPECT_TRUE(nothing->bytes.empty());
    }
    earlier ? ::setenv("TMPDIR", kept.c_str(), 1) : ::unsetenv("TMPDIR");
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

// A FIFO without a writer would hold a blocking open for ever; a read of one, or of a device,
// is refused at once. Each read runs beside the test, which gives a FIFO a writer to let a
// read that waited go, so a fault fails the test instead of hanging it.
TEST_F(StdFileSystemTest, EntriesOfEveryKindAreListedAndNoReadWaitsOnAFifoOrDevice)
{
    std::ofstream(path("b-plain.ini")) << "plain";
    fs::create_directories(m_folder / "c-folder");
    ASSERT_EQ(::mkfifo(path("d-pipe").c_str(), 0600), 0);
    fs::create_symlink(path("nowhere"), path("e-dangling"));
    fs::create_symlink("b-plain.ini", path("f-link"));
    fs::create_symlink("/dev/null", path("g-device"));
    using vantor::platform::FolderEntry;
    using vantor::platform::PathKind;
    EXPECT_EQ(m_files.listEntries(m_folder.string()),
              (std::vector<FolderEntry>{{"b-plain.ini", PathKind::RegularFile, false},
                                        {"c-folder", PathKind::Folder, false},
                                        {"d-pipe", PathKind::Other, false},
                                        {"e-dangling", PathKind::Missing, true},
                                        {"f-link", PathKind::RegularFile, true},
                                        {"g-device", PathKind::Other, true}}));
    EXPECT_EQ(m_files.listFiles(m_folder.string(), ""), (std::vector<std::string>{"b-plain.ini", "f-link"}));

    const auto within5s = [this](const std::function<bool()>& read) {
        auto done = std::async(std::launch::async, read);
        if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return done.get();
        const int writer = ::open(path("d-pipe").c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
        ADD_FAILURE() << "the read waited";
        done.wait();
        return false;
    };
    for (const char* name : {"d-pipe", "g-device", "c-folder", "e-dangling"}) {
        std::string reason;
        EXPECT_TRUE(within5s([&] { return !m_files.readAll(path(name), &reason) && !reason.empty(); })) << name;
        EXPECT_TRUE(within5s([&] { return !m_files.readLocated(path(name), &reason); })) << name;
    }
    std::string reason;
    EXPECT_FALSE(m_files.readAll(path("d-pipe"), &reason));
    EXPECT_EQ(reason, "not a regular file");

    // A read through a link says where the bytes really are.
    const auto real = m_files.resolvedPath(m_folder.string());
    ASSERT_TRUE(real);
    const auto located = m_files.readLocated(path("f-link"), nullptr);
    ASSERT_TRUE(located);
    EXPECT_EQ(located->bytes, "plain");
    EXPECT_EQ(located->location, *real + "/b-plain.ini");
    EXPECT_EQ(m_files.resolvedPath(path("c-folder/../f-link")), *real + "/b-plain.ini");
    EXPECT_FALSE(m_files.resolvedPath(path("e-dangling")));
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
