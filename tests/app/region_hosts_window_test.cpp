// The main window's "Local" and "Internet" buttons, driven headless through the fakes.
#include "app/main_window.h"

#include "app/region_hosts.h"
#include "app/region_texts.h"
#include "fakes/fake_platform.h"
#include "window_services.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRadioButton>

namespace vantor::app {
namespace {

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
    EXPECT_EQ(files.files.at("/os/Regions/a.xml"), regionWith(kLocalHost));
    ASSERT_EQ(messages.shown.size(), 3U);
    EXPECT_NE(messages.shown[2].find("Region files rewritten: 0\r\n"
                                           "Region files that already had this address: 1\r\n"),
              std::string::npos);
}

TEST_F(RegionHostsWindow, EmptyAndMissingRegionsFoldersAreSaid)
{
    files.files.clear();
    files.files["/prog/XX.lng"] = "";
    files.addFolder("/os/Regions");
    click("Option0");
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_EQ(messages.icons[0], platform::MessageIcon::Information);
    EXPECT_EQ(messages.shown[0].substr(0, 10), "L28\r\nL29\r\n");
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
    RegionHostsReport report;
    report.host = "10.0.0.1";
    report.files = {{"a.xml", RegionFileOutcome::Rewritten, SkipReason::None, {}},
                    {"b.xml", RegionFileOutcome::Skipped, SkipReason::TooFewLines, {}},
                    {"c.xml", RegionFileOutcome::Skipped, SkipReason::Unreadable, "Permission denied"},
                    {"d.ini", RegionFileOutcome::Skipped, SkipReason::NotWritable, "read-only"}};
    std::vector<std::string> entries;
    for (int k = 0; k < 60; ++k) entries.push_back("<" + std::to_string(k) + ">");
    const RegionHostsMessage message = regionHostsMessage(LanguageTable(entries), report);
    EXPECT_EQ(message.text, "<28>\r\n<29>\r\n\r\n<50> 10.0.0.1\r\n<51> 1\r\n<53>\r\nb.xml: <55>\r\n"
                            "c.xml: <56> (Permission denied)\r\nd.ini: <57> (read-only)");
    EXPECT_EQ(message.icon, platform::MessageIcon::Warning);
}

}  // namespace
}  // namespace vantor::app
