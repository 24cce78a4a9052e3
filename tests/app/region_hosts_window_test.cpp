// The main window's "Local" and "Internet" buttons, driven headless through the fakes.
#include "app/main_window.h"

#include "app/region_texts.h"
#include "regions/region_hosts.h"
#include "testing/fake_platform.h"
#include "window_services.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRadioButton>

namespace vantor::app {
namespace {

using language::LanguageTable;

using regions::RegionFileOutcome;
using regions::SkipReason;

std::string regionWith(const std::string& host)
{
    return "<Root>\r\n<Config external_host_name=\"" + host + "\" master_avatar_uuid=\"0\" />\r\n</Root>\r\n";
}

class RegionHostsWindow : public ::testing::Test, protected test::FakeWindowServices {
protected:
    RegionHostsWindow()
    {
        test::ensureApplication();
        // A language file of the original 38 lines: entries 50 to 59 come from the built-in English.
        std::string language;
        for (int k = 0; k < 38; ++k) language += "L" + std::to_string(k) + "\r\n";
        files.files["/prog/XX.lng"] = language;
        files.files["/os/Regions/a.xml"] = regionWith("SYSTEMIP");
        files.files["/os/Regions/notes.txt"] = "nothing here\n";
        session.programFolder = session.languageFolder = session.lastFolder = "/prog";
        session.publicAddress = "203.0.113.7";
        window = std::make_unique<MainWindow>(session, services, ConversionRunner{}, 2);
        EXPECT_TRUE(window->loadLanguage("XX.lng"));
        window->fillFromSettings();
        window->findChild<QLineEdit*>("Text8")->setText(QStringLiteral("/os/"));
    }
    void click(const char* name) { window->findChild<QRadioButton*>(name)->click(); }

    Session session;
    std::unique_ptr<MainWindow> window;
};

TEST_F(RegionHostsWindow, EachClickRewritesWithTheSelectedHostAndSaysWhatItDid)
{
    click("Option1");
    EXPECT_EQ(files.files.at("/os/Regions/a.xml"), regionWith("203.0.113.7"));
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_EQ(messages.icons[0], platform::MessageIcon::Information);
    EXPECT_EQ(messages.shown[0],
              "L28\r\nL29\r\n\r\nAddress written: 203.0.113.7\r\nRegion files rewritten: 1\r\nFiles left alone:\r\n"
              "notes.txt: no host line (external_host_name or ExternalHostName)");
    click("Option0");
    click("Option0");  // the same choice again: every file already has that host
    EXPECT_EQ(files.files.at("/os/Regions/a.xml"), regionWith(regions::kLocalHost));
    ASSERT_EQ(messages.shown.size(), 3U);
    // Nothing was rewritten, so no restart is asked for.
    EXPECT_EQ(messages.shown[2],
              "Every region file already announced 127.0.0.1; nothing was rewritten, and OpenSim needs no restart.\r\n"
              "Region files that already had this address: 1\r\nFiles left alone:\r\n"
              "notes.txt: no host line (external_host_name or ExternalHostName)");
    EXPECT_EQ(messages.icons[2], platform::MessageIcon::Information);
}

// The option buttons show the host the region files announce: a click whose run gave no file
// that host puts the earlier choice back, or none while no run has given one.
TEST_F(RegionHostsWindow, AfterARefusedRunTheButtonsShowWhatTheFilesAnnounce)
{
    const auto shown = [this] {
        return std::string(window->findChild<QRadioButton*>("Option0")->isChecked() ? "Local" : "") +
               (window->findChild<QRadioButton*>("Option1")->isChecked() ? "Internet" : "");
    };
    EXPECT_EQ(shown(), "");
    session.publicAddress = "bad\" address";
    click("Option1");  // refused: no file touched
    EXPECT_EQ(shown(), "");
    click("Option0");
    EXPECT_EQ(shown(), "Local");
    click("Option1");
    EXPECT_EQ(shown(), "Local");
    session.publicAddress = "203.0.113.7";
    files.unreadable.insert("/os/Regions/a.xml");  // the only region file fails
    click("Option1");
    EXPECT_EQ(shown(), "Local");
    EXPECT_EQ(files.files.at("/os/Regions/a.xml"), regionWith(regions::kLocalHost));
    EXPECT_EQ(messages.shown.back().rfind("No region file was rewritten to 203.0.113.7.\r\nFiles left alone:", 0), 0U)
        << messages.shown.back();
    EXPECT_EQ(messages.icons.back(), platform::MessageIcon::Warning);
    files.unreadable.clear();
    window->findChild<QLineEdit*>("Text8")->setText(QStringLiteral("/elsewhere/"));
    click("Option1");  // no Regions folder
    EXPECT_EQ(shown(), "Local");
    window->findChild<QLineEdit*>("Text8")->setText(QStringLiteral("/os/"));
    click("Option1");
    EXPECT_EQ(shown(), "Internet");
    EXPECT_EQ(files.files.at("/os/Regions/a.xml"), regionWith("203.0.113.7"));
}

TEST_F(RegionHostsWindow, EmptyAndMissingRegionsFoldersAreSaid)
{
    files.files.clear();
    files.files["/prog/XX.lng"] = "";
    files.addFolder("/os/Regions");
    click("Option0");
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_EQ(messages.icons[0], platform::MessageIcon::Information);
    EXPECT_EQ(messages.shown[0], "No region file was rewritten to 127.0.0.1.");
    window->findChild<QLineEdit*>("Text8")->setText(QStringLiteral("/elsewhere"));
    click("Option0");
    ASSERT_EQ(messages.shown.size(), 2U);
    EXPECT_EQ(messages.shown[1], "No Regions folder was found; nothing was rewritten:\r\n/elsewhere/Regions");
    EXPECT_EQ(messages.icons[1], platform::MessageIcon::Warning);
}

TEST_F(RegionHostsWindow, AnAddressThatIsNoHostIsNeverWritten)
{
    session.publicAddress = "1.2.3.4\" evil=\"x";
    click("Option1");
    EXPECT_EQ(files.files.at("/os/Regions/a.xml"), regionWith("SYSTEMIP"));
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_EQ(messages.shown[0], "This address cannot be written into the region files:\r\n" + session.publicAddress);
    EXPECT_EQ(messages.icons[0], platform::MessageIcon::Warning);
}

TEST(RegionHostsMessage, NamesEachFileLeftAloneWithItsReason)
{
    regions::RegionHostsReport report;
    report.host = "10.0.0.1";
    report.files = {{"a.xml", RegionFileOutcome::Rewritten, SkipReason::None, {}},
                    {"b.xml", RegionFileOutcome::Skipped, SkipReason::TooFewLines, {}},
                    {"c.xml", RegionFileOutcome::Skipped, SkipReason::Unreadable, "Permission denied"},
                    {"d.ini", RegionFileOutcome::Skipped, SkipReason::NotWritable, "read-only"},
                    {"e", RegionFileOutcome::Skipped, SkipReason::Folder, {}},
                    {"f", RegionFileOutcome::Skipped, SkipReason::NotPlainFile, {}},
                    {"g", RegionFileOutcome::Skipped, SkipReason::DanglingLink, {}},
                    {"h.ini", RegionFileOutcome::Skipped, SkipReason::OutsideOpenSim, "/etc/h.ini"}};
    std::vector<std::string> entries;
    for (int k = 0; k < 140; ++k) entries.push_back("<" + std::to_string(k) + ">");
    const RegionHostsMessage message = regionHostsMessage(LanguageTable(entries), report);
    EXPECT_EQ(message.text, "<28>\r\n<29>\r\n\r\n<50> 10.0.0.1\r\n<51> 1\r\n<53>\r\nb.xml: <55>\r\n"
                            "c.xml: <56> (Permission denied)\r\nd.ini: <57> (read-only)\r\ne: <136>\r\nf: <137>\r\n"
                            "g: <138>\r\nh.ini: <139> (/etc/h.ini)");
    EXPECT_EQ(message.icon, platform::MessageIcon::Warning);
    // Not a single file rewritten: entries 28 and 29 (files updated, restart) are not said.
    report.files = {{"a.xml", RegionFileOutcome::Unchanged, SkipReason::None, {}},
                    {"b", RegionFileOutcome::Skipped, SkipReason::Folder, {}}};
    entries[134] = "all had %1";
    const RegionHostsMessage allHad = regionHostsMessage(LanguageTable(entries), report);
    EXPECT_EQ(allHad.text, "all had 10.0.0.1\r\n<52> 1\r\n<53>\r\nb: <136>");
    EXPECT_EQ(allHad.icon, platform::MessageIcon::Information);
}

}  // namespace
}  // namespace vantor::app
