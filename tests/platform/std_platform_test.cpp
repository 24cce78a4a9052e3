// Tests of the standard file system on the real disk: outputs that replace a file only when
// whole, reads that neither wait nor crash whatever the file is or becomes, scratch files.
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
using vantor::platform::LargeFileReading;
using vantor::platform::StdFileSystem;
using vantor::test::firstDifference;

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

class StdFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = fs::temp_directory_path()
            / ("vantor-fs-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        if (const char* tmp = std::getenv("TMPDIR")) m_tmpdir = tmp;
    }
    void TearDown() override
    {
        m_tmpdir ? ::setenv("TMPDIR", m_tmpdir->c_str(), 1) : ::unsetenv("TMPDIR");
        fs::remove_all(m_folder);
    }

    std::string path(const std::string& name) const { return (m_folder / name).string(); }
    void put(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::string contentOf(const std::string& name) const { return m_files.readAll(path(name), nullptr).value_or("<unreadable>"); }
    std::size_t entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_folder), {})); }

    fs::path m_folder;
    StdFileSystem m_files;
    std::optional<std::string> m_tmpdir;  // TMPDIR as the test found it
};

// An output replaces its file only when committed, keeping the file's permissions; a file
// reached through a link (a relative link to a link included) is replaced where it lies and the
// link stays; a link to nowhere yet gives its file.
TEST_F(StdFileSystemTest, OutputReplacesTheFileWhereItLiesOnlyOnCommit)
{
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    put("real.xml", "old");
    fs::permissions(path("real.xml"), perms);
    fs::create_symlink("real.xml", path("link.xml"));
    fs::create_directories(m_folder / "sub");
    fs::create_symlink("../link.xml", m_folder / "sub" / "chain.xml");
    fs::create_symlink("later.xml", path("dangling.xml"));
    m_files.create(path("real.xml"), nullptr)->write("dropped without a commit");
    for (const std::string name : {"real.xml", "link.xml", "sub/chain.xml", "dangling.xml"}) {
        const std::string before = contentOf("real.xml");
        auto out = m_files.create(path(name), nullptr);
        ASSERT_TRUE(out) << name;
        out->write("via " + name);
        EXPECT_EQ(contentOf("real.xml"), before) << name;
        ASSERT_TRUE(out->commit(nullptr)) << name;
    }
    EXPECT_EQ(contentOf("real.xml"), "via sub/chain.xml");
    EXPECT_EQ(fs::status(path("real.xml")).permissions(), perms);
    EXPECT_TRUE(fs::is_symlink(path("link.xml")));
    EXPECT_TRUE(fs::is_symlink(m_folder / "sub" / "chain.xml"));
    EXPECT_EQ(contentOf("later.xml"), "via dangling.xml");
    EXPECT_EQ(entries(), 5u);  // real, link, sub, dangling, later: no temporary file
}

TEST_F(StdFileSystemTest, RevertPutsBackTheEarlierFileOrNone)
{
    put("copy.txt", "earlier bytes");
    fs::permissions(path("copy.txt"), fs::perms::owner_read | fs::perms::owner_write);
    auto replacing = m_files.create(path("copy.txt"), nullptr);
    auto fresh = m_files.create(path("new.txt"), nullptr);
    ASSERT_TRUE(replacing && fresh);
    replacing->write("later bytes");
    fresh->write("new");
    EXPECT_FALSE(replacing->revert());  // nothing committed yet
    ASSERT_TRUE(replacing->commit(nullptr) && fresh->commit(nullptr));
    EXPECT_EQ(contentOf("copy.txt"), "later bytes");
    EXPECT_TRUE(replacing->revert());
    EXPECT_TRUE(fresh->revert());
    replacing.reset();
    fresh.reset();
    EXPECT_EQ(contentOf("copy.txt"), "earlier bytes");
    EXPECT_EQ(fs::status(path("copy.txt")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(entries(), 1u);
}

// Placed while the name is free, left out when a file took the name after the output was
// created; a prepared file waits for its rename alone, a revert takes a placed file out.
TEST_F(StdFileSystemTest, CommitNewNeverReplacesAFile)
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
    EXPECT_EQ(contentOf("scene.xml"), "first");
    EXPECT_EQ(entries(), 1u);  // the dropped file's temporary name went with it
    EXPECT_TRUE(fresh->revert());
    EXPECT_EQ(entries(), 0u);
    // A link to nowhere yet gives its file.
    fs::create_symlink("later.xml", path("dangling.xml"));
    auto linked = m_files.create(path("dangling.xml"), nullptr);
    ASSERT_TRUE(linked);
    linked->write("made");
    EXPECT_EQ(linked->commitNew(nullptr), NewFileCommit::Placed);
    EXPECT_EQ(contentOf("later.xml"), "made");
}

TEST_F(StdFileSystemTest, FailuresGiveAReasonWithoutReplacingAFolderOrDevice)
{
    fs::create_directories(m_folder / "scene.xml");
    for (const std::string& target : {path("scene.xml"), std::string("/dev/null"), path("missing/scene.xml")}) {
        std::string reason;
        EXPECT_FALSE(m_files.create(target, &reason)) << target;
        EXPECT_FALSE(reason.empty()) << target;
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_directory(m_folder / "scene.xml"));
    std::string readReason, sharedReason;
    EXPECT_FALSE(m_files.readAll(path("nothing.txt"), &readReason));
    EXPECT_FALSE(m_files.readShared(path("nothing.xml"), &sharedReason));
    EXPECT_FALSE(readReason.empty());
    EXPECT_FALSE(sharedReason.empty());
}

TEST_F(StdFileSystemTest, AKilledWriterLeavesNoTemporaryFile)
{
    // Only file systems with unnamed temporary files can promise this.
    const int probe = ::open(m_folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (probe < 0) GTEST_SKIP() << "no unnamed temporary files here";
    ::close(probe);
    put("scene.xml", "earlier");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto out = m_files.create(path("scene.xml"), nullptr);
        if (out) out->write(std::string(3 * kMiB, 'x'));
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
    EXPECT_EQ(contentOf("scene.xml"), "earlier");
}

// Small pieces gather in the output's 1 MiB buffer, pieces as large as the buffer go straight
// to the file; around the buffer's edge both must keep the order.
TEST_F(StdFileSystemTest, PiecesOfEverySizeArriveWholeInOrder)
{
    auto out = m_files.create(path("big.bin"), nullptr);
    ASSERT_TRUE(out);
    std::string expected;
    char next = 'a';
    for (const std::size_t size : {std::size_t{1}, kMiB - 2, std::size_t{1}, std::size_t{2}, kMiB, std::size_t{3},
                                   2 * kMiB + 5, std::size_t{0}, kMiB - 1, kMiB + 1, std::size_t{7}}) {
        std::string piece(size, '\0');
        for (char& c : piece) c = next = static_cast<char>(next == 'z' ? 'a' : next + 1);
        out->write(piece);
        expected += piece;
    }
    ASSERT_TRUE(out->commit(nullptr));
    out.reset();
    EXPECT_EQ(firstDifference(contentOf("big.bin"), expected), std::nullopt);
}

// A shared read gives the file as it was read, or, mapped, says that it changed: OpenSim may
// rewrite or shorten a region file while a command has it mapped, and the part cut off must
// read as zeros instead of ending the process (SIGBUS). Every byte is touched in a child.
TEST_F(StdFileSystemTest, ASharedReadGivesTheFileAsReadOrSaysItChanged)
{
    enum class Change { None, RenamedOver, Shrunk, Rewritten };
    const struct {
        const char* name;
        LargeFileReading reading;
        std::size_t size;
        Change change;
    } cases[] = {
        {"small", LargeFileReading::Map, 5, Change::None},
        {"copied, shrunk", LargeFileReading::Copy, vantor::platform::kMappedFromBytes + 3, Change::Shrunk},
        {"mapped", LargeFileReading::Map, vantor::platform::kMappedFromBytes + 3, Change::None},
        {"mapped, renamed over", LargeFileReading::Map, vantor::platform::kMappedFromBytes + 3, Change::RenamedOver},
        {"mapped, shrunk", LargeFileReading::Map, vantor::platform::kMappedFromBytes + 3, Change::Shrunk},
        {"mapped, rewritten", LargeFileReading::Map, vantor::platform::kMappedFromBytes + 3, Change::Rewritten},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        std::string content(row.size, '\0');
        for (std::size_t i = 0; i < row.size; ++i) content[i] = static_cast<char>('a' + (i * 7 + i / 4099) % 26);
        put("scene.xml", content);
        const auto shared = StdFileSystem(row.reading).readShared(path("scene.xml"), nullptr);
        ASSERT_TRUE(shared);
        if (row.change == Change::RenamedOver) {
            put("next.xml", "other");
            fs::rename(path("next.xml"), path("scene.xml"));
        } else if (row.change == Change::Shrunk) {
            ASSERT_EQ(::truncate(path("scene.xml").c_str(), 4096), 0);
        } else if (row.change == Change::Rewritten) {
            std::fstream(path("scene.xml"), std::ios::binary | std::ios::in | std::ios::out) << "rewritten";
            const struct timespec later[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 10, 0}};
            ASSERT_EQ(::utimensat(AT_FDCWD, path("scene.xml").c_str(), later, 0), 0);
        }
        const bool changes = row.reading == LargeFileReading::Map && (row.change == Change::Shrunk || row.change == Change::Rewritten);
        const pid_t child = ::fork();
        if (child == 0) {
            const bool same = firstDifference(shared->bytes, content) == std::nullopt;
            const bool changed = shared->changed && shared->changed();
            ::_exit(changed ? 1 : same ? 0 : 2);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), changes ? 1 : 0) << "1: changed, 2: other bytes";
    }
}

// A streamed file (an archive read entry by entry) that is shortened, grows or is rewritten
// while it is read fails at its end.
TEST_F(StdFileSystemTest, AStreamedFileThatChangesWhileReadFailsAtItsEnd)
{
    for (const std::string change : {"none", "shrink", "grow"}) {
        put("region.oar", std::string(kMiB, 'a'));
        auto stream = m_files.openStream(path("region.oar"), nullptr);
        ASSERT_TRUE(stream);
        std::string block(1 << 16, '\0');
        ASSERT_EQ(stream->read(block.data(), block.size(), nullptr), block.size());
        ASSERT_TRUE(change != "shrink" || ::truncate(path("region.oar").c_str(), 100 << 10) == 0);
        if (change == "grow") std::ofstream(path("region.oar"), std::ios::binary | std::ios::app) << "more";
        std::string reason;
        std::optional<std::size_t> got;
        while ((got = stream->read(block.data(), block.size(), &reason)) && *got > 0) {
        }
        EXPECT_EQ(got.has_value(), change == "none") << change;
        EXPECT_EQ(stream->changed(), change != "none") << change;
        EXPECT_EQ(reason, got ? "" : "the file changed while it was read") << change;
    }
}

// Unpacking must leave the scratch folder's disk its reserve (others write there too, so the
// bounds are wide).
TEST_F(StdFileSystemTest, ScratchFilesLeaveTheirDiskItsReserve)
{
    ::setenv("TMPDIR", m_folder.c_str(), 1);
    const std::string mebibyte(kMiB, 's');
    for (const bool roomFor20MiB : {true, false}) {
        struct statvfs room {};
        ASSERT_EQ(::statvfs(m_folder.c_str(), &room), 0);
        const std::uint64_t free = static_cast<std::uint64_t>(room.f_bavail) * room.f_frsize;
        if (free < 1024 * kMiB) GTEST_SKIP() << "too little free room to try";
        // A reserve 20 MiB under the free room, or over it.
        const StdFileSystem files(LargeFileReading::Copy, roomFor20MiB ? free - 20 * kMiB : free + 1024 * kMiB);
        auto scratch = files.scratch(nullptr);
        ASSERT_TRUE(scratch);
        EXPECT_EQ(scratch->folder(), m_folder.string());
        int taken = 0;
        while (taken < 100 && scratch->append(mebibyte)) ++taken;
        EXPECT_TRUE(roomFor20MiB ? taken > 0 && taken < 100 : taken == 0) << taken;
    }
}

// In the folder of $TMPDIR, or the next one when that is missing.
TEST_F(StdFileSystemTest, ScratchFilesGiveBackWhatWasAppendedWithoutATrace)
{
    for (const std::string& folder : {m_folder.string(), path("missing")}) {
        ::setenv("TMPDIR", folder.c_str(), 1);
        std::string expected;
        auto scratch = m_files.scratch(nullptr);
        ASSERT_TRUE(scratch) << folder;
        for (const std::size_t size : {std::size_t{0}, std::size_t{3}, kMiB + 5, std::size_t{7}}) {
            const std::string piece(size, static_cast<char>('a' + size % 26));
            ASSERT_TRUE(scratch->append(piece));
            expected += piece;
        }
        const auto block = scratch->finish(nullptr);
        ASSERT_TRUE(block);
        EXPECT_EQ(firstDifference(block->bytes, expected), std::nullopt);
        EXPECT_EQ(entries(), 0u) << "a scratch file has a name in " << folder;
        const auto nothing = m_files.scratch(nullptr)->finish(nullptr);
        ASSERT_TRUE(nothing);
        EXPECT_TRUE(nothing->bytes.empty());
    }
}

TEST_F(StdFileSystemTest, SameFileUnderAnotherNameOrThroughALinkIsTheSameFile)
{
    put("scene.xml", "x");
    put("other.xml", "x");
    fs::create_symlink(path("scene.xml"), path("link.xml"));
    fs::create_hard_link(path("scene.xml"), path("hard.xml"));
    EXPECT_TRUE(m_files.isSameFile(path("link.xml"), path("scene.xml")));
    EXPECT_TRUE(m_files.isSameFile(path("hard.xml"), m_folder.string() + "/./scene.xml"));
    EXPECT_FALSE(m_files.isSameFile(path("other.xml"), path("scene.xml")));
    EXPECT_FALSE(m_files.isSameFile(path("missing.xml"), path("missing.xml")));
}

class StdFolderOfEveryKind : public StdFileSystemTest {
protected:
    void SetUp() override
    {
        StdFileSystemTest::SetUp();
        put("b-plain.ini", "plain");
        fs::create_directories(m_folder / "c-folder");
        ASSERT_EQ(::mkfifo(path("d-pipe").c_str(), 0600), 0);
        fs::create_symlink(path("nowhere"), path("e-dangling"));
        fs::create_symlink("b-plain.ini", path("f-link"));
        fs::create_symlink("/dev/null", path("g-device"));
        put("h-notes.txt", "notes");
    }
};

TEST_F(StdFolderOfEveryKind, EveryEntryIsListedInNameOrderWithItsKind)
{
    using vantor::platform::FolderEntry;
    using vantor::platform::PathKind;
    const auto listed = m_files.listEntries(m_folder.string());
    EXPECT_EQ(listed, (std::vector<FolderEntry>{{"b-plain.ini", PathKind::RegularFile, false},
                                        {"c-folder", PathKind::Folder, false},
                                        {"d-pipe", PathKind::Other, false},
                                        {"e-dangling", PathKind::Missing, true},
                                        {"f-link", PathKind::RegularFile, true},
                                        {"g-device", PathKind::Other, true},
                                        {"h-notes.txt", PathKind::RegularFile, false}}));
    for (const FolderEntry& entry : listed) EXPECT_EQ(m_files.kindOf(path(entry.name)), entry.kind) << entry.name;
    EXPECT_EQ(m_files.listFiles(m_folder.string(), ""), (std::vector<std::string>{"b-plain.ini", "f-link", "h-notes.txt"}));
    EXPECT_EQ(m_files.listFiles(m_folder.string(), ".ini"), (std::vector<std::string>{"b-plain.ini"}));
    EXPECT_TRUE(m_files.exists(path("f-link")));
    EXPECT_FALSE(m_files.exists(path("c-folder")));
    EXPECT_TRUE(m_files.isDirectory(path("c-folder")));
}

// A FIFO without a writer would hold a blocking open for ever; a read of one, or of a device,
// is refused at once. Each read runs beside the test, which gives a FIFO a writer to let a
// read that waited go, so a fault fails the test instead of hanging it.
TEST_F(StdFolderOfEveryKind, NoReadWaitsOnAFifoOrDevice)
{
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
    const std::string real = m_files.resolvedPath(m_folder.string()).value_or("<nowhere>");
    const auto located = m_files.readLocated(path("f-link"), nullptr);
    ASSERT_TRUE(located);
    EXPECT_EQ(located->bytes, "plain");
    EXPECT_EQ(located->location, real + "/b-plain.ini");
    EXPECT_EQ(m_files.resolvedPath(path("c-folder/../f-link")), real + "/b-plain.ini");
    EXPECT_FALSE(m_files.resolvedPath(path("e-dangling")));
}

TEST(StdRandomSource, EachSourceDrawsItsOwnValuesBelowOne)
{
    vantor::platform::StdRandomSource first, second;
    std::set<float> seen;
    bool differ = false;
    for (int i = 0; i < 1000; ++i) {
        const float a = first.next();
        ASSERT_GE(a, 0.0f);
        ASSERT_LT(a, 1.0f);
        seen.insert(a);
        differ = differ || a != second.next();
    }
    EXPECT_TRUE(differ);
    EXPECT_GT(seen.size(), 900u);
}

}  // namespace
