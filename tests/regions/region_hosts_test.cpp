#include "regions/region_hosts.h"

#include "platform/std_platform.h"
#include "testing/fake_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
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
using namespace std::chrono_literals;
using Outcome = RegionFileOutcome;

// A region file as a template: %1% and %2% stand for the host values it announces.
struct RegionFileCase {
    const char* name;
    std::string text;
    std::vector<std::string> hosts;  // the values it holds before the first rewrite
    Outcome outcome;                 // on the first rewrite to "Local"
    SkipReason reason = SkipReason::None;
    bool readOnly = false;
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

std::string renderWith(const RegionFileCase& file, const std::string& host)
{
    return render(file.text, std::vector<std::string>(file.hosts.size(), host));
}

const std::vector<RegionFileCase>& regionFolder()
{
    static const std::vector<RegionFileCase> files = {
        {"a-old-lf.xml",
         "<Root>\n<Config sim_name=\"Alpha\" external_host_name=\"%1%\" master_avatar_uuid=\"0000\" />\n</Root>\n",
         {"10.0.0.5"}, Outcome::Rewritten},
        // Windows-1252 "é" in the region's name stays the byte it was.
        {"b-old-crlf.xml",
         "<Root>\r\n<Config sim_name=\"Caf\xE9\" external_host_name=\"%1%\" master_avatar_uuid=\"0000\" />\r\n</Root>\r\n",
         {"old.example.org"}, Outcome::Rewritten},
        {"c-regions.ini",
         "; Two regions of this simulator\r\n[Caf\xC3\xA9]\r\nRegionUUID = 11111111-2222-3333-4444-555555555555\r\n"
         "Location = 1000,1000\r\n  externalhostname=%1%\r\n;ExternalHostName = commented.out\r\n\r\n[Second]\r\n"
         "ExternalHostName   =\t%2%   ; the router\r\nInternalPort = 9001",
         {"SYSTEMIP", "192.168.1.20"}, Outcome::Rewritten},
        {"d-notes.txt", "These regions are for the build contest.\nexternal_host_name= is set below.\n", {},
         Outcome::Skipped, SkipReason::NoMarkers},
        {"e-one-line.xml", "<Config external_host_name=\"1.1.1.1\" master_avatar_uuid=\"0000\" />", {},
         Outcome::Skipped, SkipReason::TooFewLines},
        // More than three lines, a lone CR, a blank line and no final line end: all kept.
        {"f-long.xml",
         "<Root>\r\n<Config external_host_name=\"%1%\" master_avatar_uuid=\"0000\" />\n<Estate/>\r<Owner/>\r\n\r\n"
         "</Root>",
         {"203.0.113.7"}, Outcome::Rewritten},
        {"g-read-only.xml", "<Root>\r\n<Config external_host_name=\"%1%\" master_avatar_uuid=\"0000\" />\r\n</Root>\r\n",
         {"10.0.0.9"}, Outcome::Skipped, SkipReason::NotWritable, true},
    };
    return files;
}

class RegionHosts : public ::testing::Test {
protected:
    RegionHosts()
    {
        for (const RegionFileCase& file : regionFolder()) {
            files.files[path(file.name)] = render(file.text, file.hosts);
            if (file.readOnly) files.readOnly.insert(path(file.name));
        }
    }
    static std::string path(const std::string& name) { return std::string(kFolder) + "/" + name; }
    RegionHostsReport rewrite(const std::string& host) { return rewriteRegionHosts(files, kFolder, host); }

    static constexpr const char* kFolder = "/os/Regions";
    test::FakeFileSystem files;
};

TEST_F(RegionHosts, RewritesOnlyTheHostOfEveryRegionFileAndReportsTheOthers)
{
    const RegionHostsReport report = rewrite(kLocalHost);
    ASSERT_TRUE(report);
    ASSERT_EQ(report.files.size(), regionFolder().size());
    for (std::size_t i = 0; i < regionFolder().size(); ++i) {
        const RegionFileCase& file = regionFolder()[i];
        EXPECT_EQ(report.files[i].name, file.name);
        EXPECT_EQ(report.files[i].outcome, file.outcome) << file.name;
        EXPECT_EQ(report.files[i].reason, file.reason) << file.name;
        const std::string expected =
            file.outcome == Outcome::Rewritten ? renderWith(file, kLocalHost) : render(file.text, file.hosts);
        EXPECT_EQ(files.files.at(path(file.name)), expected) << file.name;
    }
    EXPECT_EQ(report.count(Outcome::Rewritten), 4U);
    EXPECT_TRUE(report.anyFailed());  // the read-only file
    EXPECT_EQ(files.openOutputs, 0);
}

TEST_F(RegionHosts, LocalInternetLocalGivesBackTheSameBytes)
{
    (void)rewrite(kLocalHost);
    const auto afterLocal = files.files;
    const RegionHostsReport internet = rewrite("203.0.113.7");
    for (const RegionFileCase& file : regionFolder()) {
        if (file.outcome != Outcome::Rewritten) continue;
        EXPECT_EQ(files.files.at(path(file.name)), renderWith(file, "203.0.113.7")) << file.name;
    }
    EXPECT_EQ(internet.count(Outcome::Rewritten), 4U);
    const RegionHostsReport local = rewrite(kLocalHost);
    EXPECT_EQ(local.count(Outcome::Rewritten), 4U);
    EXPECT_EQ(files.files, afterLocal);
    // A second click on the same choice writes nothing.
    files.failCommit.insert(path("a-old-lf.xml"));
    const RegionHostsReport again = rewrite(kLocalHost);
    EXPECT_EQ(again.count(Outcome::Unchanged), 4U);
    EXPECT_EQ(again.count(Outcome::Rewritten), 0U);
}

TEST_F(RegionHosts, FailuresLeaveTheFileAsItWasAndTheOthersAreStillRewritten)
{
    files.unreadable.insert(path("a-old-lf.xml"));
    files.refuseCreate.insert(path("b-old-crlf.xml"));
    files.failCommit.insert(path("c-regions.ini"));
    const auto before = files.files;
    const RegionHostsReport report = rewrite(kLocalHost);
    const std::map<std::string, SkipReason> expected = {{"a-old-lf.xml", SkipReason::Unreadable},
                                                        {"b-old-crlf.xml", SkipReason::NotWritable},
                                                        {"c-regions.ini", SkipReason::NotWritable}};
    for (const RegionFileReport& file : report.files) {
        if (!expected.count(file.name)) continue;
        EXPECT_EQ(file.reason, expected.at(file.name)) << file.name;
        EXPECT_FALSE(file.detail.empty()) << file.name;
        EXPECT_EQ(files.files.at(path(file.name)), before.at(path(file.name))) << file.name;
    }
    EXPECT_EQ(files.files.at(path("f-long.xml")), renderWith(regionFolder()[5], kLocalHost));
}

TEST_F(RegionHosts, EmptyMissingFolderAndRefusedHostTouchNothing)
{
    const auto before = files.files;
    for (const char* host : {"a\" b", "1.2.3.256", "", "127.0.0.1\" evil=\"x", "host\r\nline"}) {
        EXPECT_EQ(rewrite(host).failure, RegionHostsError::InvalidHost) << host;
    }
    EXPECT_EQ(files.files, before);
    EXPECT_EQ(rewriteRegionHosts(files, "/os/Nowhere", kLocalHost).failure, RegionHostsError::NoRegionsFolder);
    files.addFolder("/empty/Regions");
    const RegionHostsReport empty = rewriteRegionHosts(files, "/empty/Regions", kLocalHost);
    EXPECT_TRUE(empty);
    EXPECT_TRUE(empty.files.empty());
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
        if (c.after) {
            EXPECT_EQ(result.outcome, Outcome::Rewritten) << c.label;
            EXPECT_EQ(result.bytes, *c.after) << c.label;
        } else {
            EXPECT_EQ(result.outcome, Outcome::Skipped) << c.label;
        }
    }
    EXPECT_EQ(regionFileFormatOf("Regions.INI"), RegionFileFormat::Ini);
    EXPECT_EQ(regionFileFormatOf("default.xml"), RegionFileFormat::Xml);
    EXPECT_EQ(regionsFolderOf("/opt/opensim/"), "/opt/opensim/Regions");
    EXPECT_EQ(regionsFolderOf("/opt/opensim"), "/opt/opensim/Regions");
}

TEST(RegionHostText, HostsAreDottedAddressesOrHostNames)
{
    for (const char* host : {"127.0.0.1", "0.0.0.0", "255.255.255.255", "203.0.113.7", "localhost", "SYSTEMIP",
                             "grid.example-1.org", "a.b2", "x1"}) {
        EXPECT_TRUE(isValidHost(host)) << host;
    }
    for (const std::string& host : std::vector<std::string>{"", "1.2.3.256", "1.2.3", "1.2.3.4.5", "01.2.3.4", "1.2.3.-4", "a\" b", "a b",
                                   "a..b", ".a", "a.", "-a.org", "a-.org", "under_score.org", "caf\xC3\xA9.org",
                                   "1.2.3.4\n", std::string(64, 'a') + ".org", "123"}) {
        EXPECT_FALSE(isValidHost(host)) << host;
    }
    EXPECT_TRUE(isValidHost(std::string(63, 'a') + ".org"));
}

// On disk: a read-only region file is left alone, even for the superuser, and the others are
// replaced through the temporary file, which leaves nothing behind.
TEST(RegionHostFiles, ReadOnlyFilesOnDiskAreReportedAndNotReplaced)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "vantor-region-hosts" / "Regions";
    fs::remove_all(folder.parent_path());
    fs::create_directories(folder);
    const std::string text = "<Root>\r\n<Config external_host_name=\"x\" master_avatar_uuid=\"0\" />\r\n</Root>\r\n";
    std::ofstream(folder / "a.xml", std::ios::binary) << text;
    std::ofstream(folder / "b.xml", std::ios::binary) << text;
    fs::permissions(folder / "b.xml", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    platform::StdFileSystem files;
    const RegionHostsReport report = rewriteRegionHosts(files, regionsFolderOf(folder.parent_path().string()), "10.1.2.3");
    ASSERT_EQ(report.files.size(), 2U);
    EXPECT_EQ(report.files[0].outcome, Outcome::Rewritten);
    EXPECT_EQ(report.files[1].reason, SkipReason::NotWritable);
    const auto contentOf = [&files](const fs::path& file) { return files.readAll(file.string(), nullptr).value_or("<unreadable>"); };
    EXPECT_EQ(contentOf(folder / "a.xml"),
              "<Root>\r\n<Config external_host_name=\"10.1.2.3\" master_avatar_uuid=\"0\" />\r\n</Root>\r\n");
    EXPECT_EQ(contentOf(folder / "b.xml"), text);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 2);
    fs::remove_all(folder.parent_path());
}

// A region folder on disk holding every kind of entry a folder can hold.
class RegionFolderOnDisk : public ::testing::Test {
protected:
    RegionFolderOnDisk()
    {
        fs::remove_all(m_root);
        fs::create_directories(m_regions);
        fs::create_directories(m_root / "os" / "shared");
        fs::create_directories(m_root / "elsewhere");
    }
    ~RegionFolderOnDisk() override { fs::remove_all(m_root); }

    static std::string region(const std::string& host)
    {
        return "<Root>\r\n<Config external_host_name=\"" + host + "\" master_avatar_uuid=\"0\" />\r\n</Root>\r\n";
    }
    void write(const fs::path& file, const std::string& host) const
    {
        std::ofstream(file, std::ios::binary) << region(host);
    }
    [[nodiscard]] std::string contentOf(const fs::path& file) const
    {
        return m_disk.readAll(file.string(), nullptr).value_or("<unreadable>");
    }
    [[nodiscard]] std::string real(const fs::path& file) const
    {
        return m_disk.resolvedPath(file.string()).value_or("<nowhere>");
    }

    const fs::path m_root = fs::temp_directory_path() /
                            ("vantor-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    const fs::path m_regions = m_root / "os" / "Regions";
    platform::StdFileSystem m_disk;
};

using Report = RegionFileReport;

TEST_F(RegionFolderOnDisk, EveryEntryIsReportedAndNoFileOutsideTheOpenSimFolderIsWritten)
{
    write(m_regions / "a.xml", "x");
    write(m_root / "os" / "shared" / "b.xml", "x");
    fs::create_symlink("../shared/b.xml", m_regions / "b.xml");
    write(m_root / "elsewhere" / "c.xml", "x");
    fs::create_symlink(m_root / "elsewhere" / "c.xml", m_regions / "c.xml");
    ASSERT_EQ(::mkfifo((m_regions / "d-pipe.xml").c_str(), 0600), 0);
    fs::create_symlink(m_root / "gone.xml", m_regions / "e-dangling.xml");
    fs::create_directories(m_regions / "f-folder.xml");
    fs::create_symlink("/dev/null", m_regions / "g-device.xml");
    write(m_root / "elsewhere" / "h.xml", "10.1.2.3");
    fs::create_symlink(m_root / "elsewhere" / "h.xml", m_regions / "h.xml");

    auto done = std::async(std::launch::async, [this] {
        return rewriteRegionHosts(m_disk, regionsFolderOf((m_root / "os").string()), "10.1.2.3");
    });
    if (done.wait_for(10s) != std::future_status::ready) {
        const int writer = ::open((m_regions / "d-pipe.xml").c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
        ADD_FAILURE() << "the rewrite waited on the FIFO";
    }
    const RegionHostsReport report = done.get();
    EXPECT_EQ(report.files,
              (std::vector<Report>{{"a.xml", Outcome::Rewritten, SkipReason::None, {}},
                                   {"b.xml", Outcome::Rewritten, SkipReason::None, {}},
                                   {"c.xml", Outcome::Skipped, SkipReason::OutsideOpenSim,
                                    real(m_root / "elsewhere" / "c.xml")},
                                   {"d-pipe.xml", Outcome::Skipped, SkipReason::NotPlainFile, {}},
                                   {"e-dangling.xml", Outcome::Skipped, SkipReason::DanglingLink, {}},
                                   {"f-folder.xml", Outcome::Skipped, SkipReason::Folder, {}},
                                   {"g-device.xml", Outcome::Skipped, SkipReason::NotPlainFile, {}},
                                   {"h.xml", Outcome::Unchanged, SkipReason::None, {}}}));
    EXPECT_TRUE(report.anyFailed());  // c.xml still announces the old host
    EXPECT_EQ(contentOf(m_regions / "a.xml"), region("10.1.2.3"));
    // A link inside the OpenSim folder is written through and stays a link.
    EXPECT_EQ(contentOf(m_root / "os" / "shared" / "b.xml"), region("10.1.2.3"));
    EXPECT_TRUE(fs::is_symlink(m_regions / "b.xml"));
    EXPECT_EQ(contentOf(m_root / "elsewhere" / "c.xml"), region("x"));
    EXPECT_TRUE(fs::is_fifo(m_regions / "d-pipe.xml"));
}

// The file system as it is, except that files are changed, as another program could, after
// the folder was listed and before they are read.
class ChangedAfterListing final : public platform::FileSystem {
public:
    explicit ChangedAfterListing(std::function<void()> change, std::function<void(const std::string&)> afterRead = {})
        : m_change(std::move(change)), m_afterRead(std::move(afterRead))
    {
    }
    bool exists(const std::string& path) const override { return m_disk.exists(path); }
    bool isDirectory(const std::string& path) const override { return m_disk.isDirectory(path); }
    bool isWritable(const std::string& path) const override { return m_disk.isWritable(path); }
    platform::PathKind kindOf(const std::string& path) const override { return m_disk.kindOf(path); }
    std::optional<std::string> readAll(const std::string& path, std::string* reason) const override
    {
        return m_disk.readAll(path, reason);
    }
    std::optional<platform::LocatedBytes> readLocated(const std::string& path, std::string* reason) const override
    {
        auto read = m_disk.readLocated(path, reason);
        if (m_afterRead) m_afterRead(path);
        return read;
    }
    std::optional<std::string> resolvedPath(const std::string& path) const override
    {
        return m_disk.resolvedPath(path);
    }
    std::unique_ptr<platform::OutputFile> create(const std::string& path, std::string* reason) override
    {
        return m_disk.create(path, reason);
    }
    bool remove(const std::string& path) override { return m_disk.remove(path); }
    std::vector<std::string> listFiles(const std::string& folder, std::string_view suffix) const override
    {
        return m_disk.listFiles(folder, suffix);
    }
    std::vector<platform::FolderEntry> listEntries(const std::string& folder) const override
    {
        auto entries = m_disk.listEntries(folder);
        m_change();
        return entries;
    }

private:
    platform::StdFileSystem m_disk;
    std::function<void()> m_change;
    std::function<void(const std::string&)> m_afterRead;
};

TEST_F(RegionFolderOnDisk, AFileReplacedAfterTheListingIsSkippedWithoutWaiting)
{
    for (const char* name : {"a.xml", "b.xml", "c.xml", "d.xml", "e.xml"}) write(m_regions / name, "x");
    write(m_root / "elsewhere" / "outside.xml", "x");
    ChangedAfterListing files([this] {
        fs::remove(m_regions / "b.xml");
        ASSERT_EQ(::mkfifo((m_regions / "b.xml").c_str(), 0600), 0);
        fs::remove(m_regions / "c.xml");
        fs::create_symlink(m_root / "elsewhere" / "outside.xml", m_regions / "c.xml");
        fs::remove(m_regions / "d.xml");
        fs::create_directories(m_regions / "d.xml");
        fs::remove(m_regions / "e.xml");
    });
    auto done = std::async(std::launch::async, [&files, this] {
        return rewriteRegionHosts(files, m_regions.string(), kLocalHost);
    });
    if (done.wait_for(10s) != std::future_status::ready) {
        const int writer = ::open((m_regions / "b.xml").c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
        ADD_FAILURE() << "the rewrite waited on the FIFO swapped in";
    }
    const RegionHostsReport report = done.get();
    ASSERT_EQ(report.files.size(), 5U);
    EXPECT_EQ(report.files[0].outcome, Outcome::Rewritten);
    EXPECT_EQ(report.files[1].reason, SkipReason::NotPlainFile);
    EXPECT_EQ(report.files[2].reason, SkipReason::OutsideOpenSim);
    EXPECT_EQ(report.files[3].reason, SkipReason::Folder);
    EXPECT_EQ(report.files[4].reason, SkipReason::Unreadable);
    EXPECT_EQ(report.files[4].detail, "No such file or directory");
    EXPECT_EQ(contentOf(m_regions / "a.xml"), region(kLocalHost));
    EXPECT_EQ(contentOf(m_root / "elsewhere" / "outside.xml"), region("x"));
    EXPECT_TRUE(fs::is_fifo(m_regions / "b.xml"));
}

// Replaced (renamed over, as a program that rewrites files does) just after it was read: the
// file is not written, and what stands there now gives the reason.
TEST_F(RegionFolderOnDisk, AFileReplacedAfterItWasReadIsNotWrittenThrough)
{
    for (const char* name : {"a.xml", "b.xml", "c.xml"}) write(m_regions / name, "x");
    write(m_root / "elsewhere" / "outside.xml", "x");
    ChangedAfterListing files([] {}, [this](const std::string& path) {
        const fs::path spare = m_regions / ".spare";
        if (path.ends_with("/a.xml")) {
            ASSERT_EQ(::mkfifo(spare.c_str(), 0600), 0);
        } else if (path.ends_with("/b.xml")) {
            fs::create_symlink(m_root / "elsewhere" / "outside.xml", spare);
        } else {
            return;
        }
        fs::rename(spare, path);
    });
    const RegionHostsReport report = rewriteRegionHosts(files, m_regions.string(), kLocalHost);
    ASSERT_EQ(report.files.size(), 3U);
    EXPECT_EQ(report.files[0].reason, SkipReason::NotPlainFile);
    EXPECT_EQ(report.files[1].reason, SkipReason::OutsideOpenSim);
    EXPECT_EQ(report.files[2].outcome, Outcome::Rewritten);
    EXPECT_TRUE(fs::is_fifo(m_regions / "a.xml"));
    EXPECT_EQ(contentOf(m_root / "elsewhere" / "outside.xml"), region("x"));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_regions)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.xml", "b.xml", "c.xml"}));
}

}  // namespace
}  // namespace vantor::regions
