// Tests of the region host rewrite: only the host changes, and only plain files inside the
// OpenSim folder are written, whatever the Regions folder holds or comes to hold meanwhile.
#include "regions/region_hosts.h"

#include "platform/std_platform.h"
#include "testing/fake_platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantor::regions {
namespace {

namespace fs = std::filesystem;
using Outcome = RegionFileOutcome;

enum class Fault { None, ReadOnly, Unreadable, CreateRefused, CommitFails };

// A region file as a template: %1% and %2% stand for the host values it announces.
struct RegionFileCase {
    const char* name;
    std::string text;
    std::vector<std::string> hosts;        // the values it holds before the first rewrite
    SkipReason reason = SkipReason::None;  // why every rewrite skips it; None: it is rewritten
    Fault fault = Fault::None;
};

std::string render(std::string text, const std::vector<std::string>& hosts)
{
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        const std::string mark = "%" + std::to_string(i + 1) + "%";
        for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + hosts[i].size())) {
            text.replace(at, mark.size(), hosts[i]);
        }
    }
    return text;
}

const std::string kXml = "<Root>\r\n<Config external_host_name=\"%1%\" master_avatar_uuid=\"0000\" />\r\n</Root>\r\n";

// One file for each outcome of a region folder. That every line end and every byte that is
// no UTF-8 is kept, in any file, is the rewrite fuzz target's check.
const std::vector<RegionFileCase> kRegionFolder = {
    {"a-old.xml", "<Root>\n<Config sim_name=\"Caf\xE9\" external_host_name=\"%1%\" master_avatar_uuid=\"0000\" />\n</Root>\n",
     {"10.0.0.5"}},
    // Upper-case suffix: still read as an ini file.
    {"b-Regions.INI",
     "; Two regions of this simulator\r\n[Caf\xC3\xA9]\r\nRegionUUID = 11111111-2222-3333-4444-555555555555\r\n"
     "Location = 1000,1000\r\n  externalhostname=%1%\r\n;ExternalHostName = commented.out\r\n\r\n[Second]\r\n"
     "ExternalHostName   =\t%2%   ; the router\r\nInternalPort = 9001",
     {"SYSTEMIP", "192.168.1.20"}},
    {"c-notes.txt", "These regions are for the build contest.\nexternal_host_name= is set below.\n", {},
     SkipReason::NoMarkers},
    {"d-one-line.xml", "<Config external_host_name=\"1.1.1.1\" master_avatar_uuid=\"0000\" />", {}, SkipReason::TooFewLines},
    {"e-read-only.xml", kXml, {"10.0.0.9"}, SkipReason::NotWritable, Fault::ReadOnly},
    {"f-unreadable.xml", kXml, {"10.0.0.9"}, SkipReason::Unreadable, Fault::Unreadable},
    {"g-create-refused.xml", kXml, {"10.0.0.9"}, SkipReason::NotWritable, Fault::CreateRefused},
    {"h-commit-fails.xml", kXml, {"10.0.0.9"}, SkipReason::NotWritable, Fault::CommitFails},
};

class RegionHosts : public ::testing::Test {
protected:
    RegionHosts()
    {
        for (const RegionFileCase& file : kRegionFolder) {
            const std::string at = path(file.name);
            files.files[at] = render(file.text, file.hosts);
            if (file.fault == Fault::ReadOnly) files.readOnly.insert(at);
            if (file.fault == Fault::Unreadable) files.unreadable.insert(at);
            if (file.fault == Fault::CreateRefused) files.refuseCreate.insert(at);
            if (file.fault == Fault::CommitFails) files.failCommit.insert(at);
        }
    }
    static std::string path(const std::string& name) { return std::string(kFolder) + "/" + name; }
    RegionHostsReport rewrite(const std::string& host) { return rewriteRegionHosts(files, kFolder, host); }
    // The folder as it should be after a rewrite to host: the skipped files as they were.
    std::map<std::string, std::string> expectedAfter(const std::string& host) const
    {
        auto expected = files.files;
        for (const RegionFileCase& file : kRegionFolder) {
            if (file.reason == SkipReason::None) expected[path(file.name)] = render(file.text, {host, host});
        }
        return expected;
    }

    static constexpr const char* kFolder = "/os/Regions";
    test::FakeFileSystem files;
};

TEST_F(RegionHosts, RewritesOnlyTheHostOfEachRegionFile)
{
    const auto expected = expectedAfter(kLocalHost);
    const RegionHostsReport report = rewrite(kLocalHost);
    ASSERT_TRUE(report);
    ASSERT_EQ(report.files.size(), kRegionFolder.size());
    for (std::size_t i = 0; i < kRegionFolder.size(); ++i) {
        const RegionFileCase& file = kRegionFolder[i];
        SCOPED_TRACE(file.name);
        EXPECT_EQ(report.files[i].name, file.name);
        EXPECT_EQ(report.files[i].outcome, file.reason == SkipReason::None ? Outcome::Rewritten : Outcome::Skipped);
        EXPECT_EQ(report.files[i].reason, file.reason);
        // A file that could not be read or written says what the file system said.
        EXPECT_EQ(report.files[i].detail.empty(), file.fault == Fault::None);
    }
    EXPECT_EQ(files.files, expected);
    EXPECT_TRUE(report.anyFailed());
    EXPECT_EQ(files.openOutputs, 0);
}

// From one host to another and back, the files are byte for byte what they were; the same
// choice again writes nothing.
TEST_F(RegionHosts, LocalInternetLocalGivesBackTheSameBytes)
{
    (void)rewrite(kLocalHost);
    const auto afterLocal = files.files;
    const auto expected = expectedAfter("203.0.113.7");
    EXPECT_EQ(rewrite("203.0.113.7").count(Outcome::Rewritten), 2U);
    EXPECT_EQ(files.files, expected);
    EXPECT_EQ(rewrite(kLocalHost).count(Outcome::Rewritten), 2U);
    EXPECT_EQ(files.files, afterLocal);
    files.failCommit.insert(path("a-old.xml"));
    EXPECT_EQ(rewrite(kLocalHost).count(Outcome::Unchanged), 2U);
}

TEST_F(RegionHosts, RefusalsTouchNoFile)
{
    const struct {
        const char* name;
        const char* folder;
        const char* host;
        RegionHostsError error;
    } cases[] = {
        {"blank and quote", kFolder, "a\" b", RegionHostsError::InvalidHost},
        {"attribute put in", kFolder, "127.0.0.1\" evil=\"x", RegionHostsError::InvalidHost},
        {"no Regions folder", "/os/Nowhere", kLocalHost, RegionHostsError::NoRegionsFolder},
    };
    const auto before = files.files;
    for (const auto& row : cases) {
        EXPECT_EQ(rewriteRegionHosts(files, row.folder, row.host).failure, row.error) << row.name;
    }
    EXPECT_EQ(files.files, before);
}

TEST(RegionHostText, OnlyTheValueBetweenTheMarkersOrAfterTheKeyChanges)
{
    struct Case {
        const char* label;
        RegionFileFormat format;
        std::string before;
        std::optional<std::string> after;  // nothing: skipped
    };
    const std::vector<Case> cases = {
        {"text after the old value is dropped, the blank before the marker kept", RegionFileFormat::Xml,
         "1\n2 external_host_name=\"old\" junk master_avatar_uuid=\"u\" external_host_name=\"z\"\n",
         "1\n2 external_host_name=\"H\" master_avatar_uuid=\"u\" external_host_name=\"z\"\n"},
        {"a two-line file is enough", RegionFileFormat::Xml, "1\r\n2 external_host_name=x master_avatar_uuid",
         "1\r\n2 external_host_name=\"H\" master_avatar_uuid"},
        {"the owner marker must follow the host marker", RegionFileFormat::Xml,
         "1\nmaster_avatar_uuid=\"u\" external_host_name=\"x\"\n", std::nullopt},
        {"and leave a character between them", RegionFileFormat::Xml, "1\nexternal_host_name=master_avatar_uuid\n",
         std::nullopt},
        {"markers on another line do not count", RegionFileFormat::Xml,
         "external_host_name=\"x\" master_avatar_uuid\n2\n", std::nullopt},
        {"a quoted value keeps its quotes", RegionFileFormat::Ini, "[R]\nExternalHostName = \"old\" ; c\n",
         "[R]\nExternalHostName = \"H\" ; c\n"},
        {"an empty value gets the host", RegionFileFormat::Ini, "EXTERNALHOSTNAME=\r\n", "EXTERNALHOSTNAME=H\r\n"},
        {"the byte-order mark stays before the first key", RegionFileFormat::Ini,
         "\xEF\xBB\xBF" "ExternalHostName = SYSTEMIP", "\xEF\xBB\xBF" "ExternalHostName = H"},
        {"longer keys and comments are no host line", RegionFileFormat::Ini,
         "ExternalHostNames = a\n# ExternalHostName = b\nX = ExternalHostName = c\n", std::nullopt},
    };
    for (const Case& c : cases) {
        const RegionTextRewrite result = rewriteRegionText(c.before, "H", c.format);
        EXPECT_EQ(result.outcome, c.after ? Outcome::Rewritten : Outcome::Skipped) << c.label;
        if (c.after) {
            EXPECT_EQ(result.bytes, *c.after) << c.label;
        }
    }
}

TEST(RegionHostText, HostsAreDottedAddressesOrHostNames)
{
    for (const char* host : {"127.0.0.1", "0.0.0.0", "255.255.255.255", "localhost", "SYSTEMIP", "grid.example-1.org",
                             "a.b2", "x1"}) {
        EXPECT_TRUE(isValidHost(host)) << host;
    }
    EXPECT_TRUE(isValidHost(std::string(63, 'a') + ".org"));
    for (const std::string& host : std::vector<std::string>{
             "1.2.3.256", "1.2.3", "1.2.3.4.5", "01.2.3.4", "1.2.3.-4", "a b", "a..b", ".a", "a.", "-a.org", "a-.org",
             "under_score.org", "caf\xC3\xA9.org", "1.2.3.4\n", std::string(64, 'a') + ".org", "123"}) {
        EXPECT_FALSE(isValidHost(host)) << host;
    }
}

// The file system as it is, except that files change as another program could change them:
// once the folder was listed, and just after a file was read.
class ChangedMeanwhile final : public platform::FileSystem {
public:
    ChangedMeanwhile(std::function<void()> afterListing, std::function<void(const std::string&)> afterRead)
        : m_afterListing(std::move(afterListing)), m_afterRead(std::move(afterRead))
    {
    }
    bool exists(const std::string& path) const override { return m_disk.exists(path); }
    bool isDirectory(const std::string& path) const override { return m_disk.isDirectory(path); }
    bool isWritable(const std::string& path) const override { return m_disk.isWritable(path); }
    platform::PathKind kindOf(const std::string& path) const override { return m_disk.kindOf(path); }
    std::optional<std::string> readAll(const std::string& path, std::string* why) const override
    {
        return m_disk.readAll(path, why);
    }
    std::optional<platform::LocatedBytes> readLocated(const std::string& path, std::string* why) const override
    {
        auto read = m_disk.readLocated(path, why);
        m_afterRead(path);
        return read;
    }
    std::optional<std::string> resolvedPath(const std::string& path) const override { return m_disk.resolvedPath(path); }
    std::unique_ptr<platform::OutputFile> create(const std::string& path, std::string* why) override
    {
        return m_disk.create(path, why);
    }
    bool remove(const std::string& path) override { return m_disk.remove(path); }
    std::vector<std::string> listFiles(const std::string& folder, std::string_view suffix) const override
    {
        return m_disk.listFiles(folder, suffix);
    }
    std::vector<platform::FolderEntry> listEntries(const std::string& folder) const override
    {
        auto entries = m_disk.listEntries(folder);
        m_afterListing();
        return entries;
    }

private:
    platform::StdFileSystem m_disk;
    std::function<void()> m_afterListing;
    std::function<void(const std::string&)> m_afterRead;
};

// A region folder on disk holding every kind of entry, some of them changed while the rewrite
// runs: after the folder was listed (j to m), or renamed over just after they were read (n, o).
// Only plain, writable files inside the OpenSim folder are written; a link inside it is written
// through and stays a link; read-only files are left alone, even for the superuser; what stands
// there when the file is looked at gives the reason; and no read waits on a FIFO.
TEST(RegionFolderOnDisk, OnlyPlainWritableFilesInsideTheOpenSimFolderAreWritten)
{
    const fs::path root = fs::temp_directory_path() / "vantor-region-folder-on-disk";
    const fs::path regions = root / "os" / "Regions";
    const fs::path outside = root / "elsewhere" / "outside.xml";
    fs::remove_all(root);
    fs::create_directories(regions);
    fs::create_directories(root / "os" / "shared");
    fs::create_directories(root / "elsewhere");
    const auto region = [](const std::string& host) {
        return "<Root>\r\n<Config external_host_name=\"" + host + "\" master_avatar_uuid=\"0\" />\r\n</Root>\r\n";
    };
    const auto write = [&](const fs::path& file, const std::string& host) { std::ofstream(file, std::ios::binary) << region(host); };
    for (const char* name : {"a.xml", "i-read-only.xml", "j.xml", "k.xml", "l.xml", "m.xml", "n.xml", "o.xml"}) {
        write(regions / name, "x");
    }
    write(root / "os" / "shared" / "b.xml", "x");
    fs::create_symlink("../shared/b.xml", regions / "b.xml");
    write(outside, "x");
    fs::create_symlink(outside, regions / "c.xml");
    ASSERT_EQ(::mkfifo((regions / "d-pipe.xml").c_str(), 0600), 0);
    fs::create_symlink(root / "gone.xml", regions / "e-dangling.xml");
    fs::create_directories(regions / "f-folder.xml");
    fs::create_symlink("/dev/null", regions / "g-device.xml");
    write(root / "elsewhere" / "h.xml", "10.1.2.3");
    fs::create_symlink(root / "elsewhere" / "h.xml", regions / "h.xml");
    fs::permissions(regions / "i-read-only.xml", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    ChangedMeanwhile files(
        [&] {
            fs::remove(regions / "j.xml");
            ASSERT_EQ(::mkfifo((regions / "j.xml").c_str(), 0600), 0);
            fs::remove(regions / "k.xml");
            fs::create_symlink(outside, regions / "k.xml");
            fs::remove(regions / "l.xml");
            fs::create_directories(regions / "l.xml");
            fs::remove(regions / "m.xml");
        },
        [&](const std::string& path) {
            const fs::path spare = regions / ".spare";
            if (path.ends_with("/n.xml")) {
                ASSERT_EQ(::mkfifo(spare.c_str(), 0600), 0);
            } else if (path.ends_with("/o.xml")) {
                fs::create_symlink(outside, spare);
            } else {
                return;
            }
            fs::rename(spare, path);
        });
    // After 10 s the FIFOs get a writer, which lets a waiting open go: a fault fails the test
    // instead of hanging it.
    auto done = std::async(std::launch::async, [&] {
        return rewriteRegionHosts(files, regionsFolderOf((root / "os").string()), "10.1.2.3");
    });
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the rewrite waited on a FIFO";
        for (const char* fifo : {"d-pipe.xml", "j.xml", "n.xml"}) {
            const int writer = ::open((regions / fifo).c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) ::close(writer);
        }
    }
    const RegionHostsReport report = done.get();

    const platform::StdFileSystem disk;
    const std::string real = disk.resolvedPath(outside.string()).value_or("<nowhere>");
    EXPECT_EQ(report.files, (std::vector<RegionFileReport>{
                                {"a.xml", Outcome::Rewritten, SkipReason::None, {}},
                                {"b.xml", Outcome::Rewritten, SkipReason::None, {}},
                                {"c.xml", Outcome::Skipped, SkipReason::OutsideOpenSim, real},
                                {"d-pipe.xml", Outcome::Skipped, SkipReason::NotPlainFile, {}},
                                {"e-dangling.xml", Outcome::Skipped, SkipReason::DanglingLink, {}},
                                {"f-folder.xml", Outcome::Skipped, SkipReason::Folder, {}},
                                {"g-device.xml", Outcome::Skipped, SkipReason::NotPlainFile, {}},
                                {"h.xml", Outcome::Unchanged, SkipReason::None, {}},
                                {"i-read-only.xml", Outcome::Skipped, SkipReason::NotWritable, "read-only"},
                                {"j.xml", Outcome::Skipped, SkipReason::NotPlainFile, {}},
                                {"k.xml", Outcome::Skipped, SkipReason::OutsideOpenSim, real},
                                {"l.xml", Outcome::Skipped, SkipReason::Folder, {}},
                                {"m.xml", Outcome::Skipped, SkipReason::Unreadable, "No such file or directory"},
                                {"n.xml", Outcome::Skipped, SkipReason::NotPlainFile, {}},
                                {"o.xml", Outcome::Skipped, SkipReason::OutsideOpenSim, real}}));
    const auto contentOf = [&disk](const fs::path& file) { return disk.readAll(file.string(), nullptr).value_or("<unreadable>"); };
    EXPECT_EQ(contentOf(regions / "a.xml"), region("10.1.2.3"));
    EXPECT_EQ(contentOf(root / "os" / "shared" / "b.xml"), region("10.1.2.3"));
    EXPECT_TRUE(fs::is_symlink(regions / "b.xml"));
    EXPECT_EQ(contentOf(outside), region("x"));
    EXPECT_EQ(contentOf(regions / "i-read-only.xml"), region("x"));
    for (const char* fifo : {"d-pipe.xml", "j.xml", "n.xml"}) EXPECT_TRUE(fs::is_fifo(regions / fifo)) << fifo;
    // Nothing else is left in the folder: no temporary file, no spare name.
    EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(regions), {})), report.files.size() - 1);
    fs::remove_all(root);
}

}  // namespace
}  // namespace vantor::regions
