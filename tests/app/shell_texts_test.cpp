#include "app/shell_texts.h"

#include "app/region_texts.h"
#include "app/widget_dialogs.h"

#include <gtest/gtest.h>

namespace vantor::app {
namespace {

namespace entry = language::entry;
using language::LanguageTable;
using language::builtInEnglish;

TEST(ShellTexts, NamesAreCutAsTyped)
{
    EXPECT_EQ(folderOfChosenFile("/home/ann/builds/*.txt", ""), "/home/ann/builds/");
    // The language box's answer is upper-cased beyond ASCII and never trimmed.
    EXPECT_EQ(languageFileName("é"), "É.lng");
    EXPECT_EQ(languageFileName("es "), "ES .lng");
    EXPECT_EQ(withoutXmlExtension("maison.xml"), "maison");
    EXPECT_EQ(withoutXmlExtension("maison.xml.xml"), "maison.xml");
    EXPECT_EQ(withoutXmlExtension("maison.XML"), "maison.XML");
    EXPECT_EQ(withoutXmlExtension(".xml"), "");
}

TEST(ShellTexts, ConversionMessagesJoinTheirLanguageEntries)
{
    std::vector<std::string> entries;
    for (int i = 0; i <= static_cast<int>(entry::kLastProgramText); ++i) entries.push_back("<" + std::to_string(i) + ">");
    entries[entry::kObjectsWritten] = "written: %1";
    entries[entry::kLinkedObjectsWritten] = "linked: %1 of %2";
    entries[entry::kConsoleCommand] = "console: %1";
    entries[entry::kOutputFailedMessage] = "%1 failed (%2), %3";
    entries[entry::kOwnerNotAUuid] += " %1";
    entries[entry::kRezNotANumber] += " %1 %2";
    const LanguageTable texts(std::move(entries));
    using convert::ConversionError;
    using convert::RequestField;
    const std::string kLoadXml2 = "\r\n\r\nconsole: load xml2 \"/opt/os/maison.xml\"";
    const std::string longRecord = "[12:00] Big: " + std::string(500, 'x');
    const std::string ownerTyped = std::string(1000, '\xE9');  // not UTF-8: shown by its first bytes only
    struct Row {
        const char* name;
        std::optional<ConversionError> error;  // nothing: a run that wrote its files
        std::optional<std::string> expected;
        std::string record = "\n[12:00] Scribelet: Wall<1, 2, 3>\r";
        std::optional<RequestField> field = std::nullopt;
    };
    const std::vector<Row> rows = {
        {"cancelled", ConversionError::Cancelled, std::nullopt},
        {"done", std::nullopt, "<22>maison.xml<23>\r\nwritten: 3" + kLoadXml2},
        // The record stands directly under the line that announces it.
        {"record", ConversionError::RecordNotConverted, "<24>\r\n\r\n<25>\r\n[12:00] Scribelet: Wall<1, 2, 3>"},
        {"long record: its first 300 characters", ConversionError::RecordNotConverted,
         "<24>\r\n\r\n<25>\r\n" + longRecord.substr(0, 300) + "\u2026", "\n" + longRecord + "\r"},
        {"output failed", ConversionError::OutputFailed, "/opt/os/maison.xml failed (disk %2 full), %3"},
        {"Y", ConversionError::InvalidField, "<103> Y 1,5", "", RequestField::RezY},
        {"owner", ConversionError::InvalidField, "<102> " + ownerTyped.substr(0, 300) + "\u2026", "",
         RequestField::OwnerUuid}};
    convert::ConversionRequest request;
    request.rezY = "1,5";
    request.ownerUuid = ownerTyped;
    request.outputFolder = "/opt/os";
    convert::ConversionReport report;
    report.listingName = "maison.xml";
    report.scenePath = "/opt/os/maison.xml";
    report.primCount = 3;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        report.failure.reset();
        if (row.error) report.failure = {*row.error, row.field, row.record, "/opt/os/maison.xml", "disk %2 full"};
        EXPECT_EQ(conversionMessage(texts, report, request), row.expected);
    }
    // A region archive of linked objects: its file, the objects and prims, the command with
    // --merge and what loading without it does.
    request.format = convert::OutputFormat::RegionArchive;
    request.linkObjects = true;
    report.failure.reset();
    report.scenePath = "/opt/os/my hall.oar";
    report.objectCount = 2;
    EXPECT_EQ(conversionMessage(texts, report, request),
              "<22>my hall.oar<23>\r\nlinked: 2 of 3\r\n\r\nconsole: load oar --merge \"/opt/os/my hall.oar\"\r\n<146>");
}

TEST(ShellTexts, RegionHostsMessageNamesEachFileLeftAloneWithItsReason)
{
    using regions::RegionFileOutcome;
    using regions::SkipReason;
    regions::RegionHostsReport report;
    report.host = "10.0.0.1";
    report.files = {{"a.xml", RegionFileOutcome::Rewritten, SkipReason::None, {}},
                    {"b.xml", RegionFileOutcome::Skipped, SkipReason::TooFewLines, {}},
                    {"c.xml", RegionFileOutcome::Skipped, SkipReason::Unreadable, "Permission denied"},
                    {"h.ini", RegionFileOutcome::Skipped, SkipReason::OutsideOpenSim, "/etc/h.ini"}};
    std::vector<std::string> entries;
    for (int k = 0; k < 140; ++k) entries.push_back("<" + std::to_string(k) + ">");
    const RegionHostsMessage message = regionHostsMessage(LanguageTable(entries), report);
    EXPECT_EQ(message.text, "<28>\r\n<29>\r\n\r\n<50> 10.0.0.1\r\n<51> 1\r\n<53>\r\nb.xml: <55>\r\n"
                            "c.xml: <56> (Permission denied)\r\nh.ini: <139> (/etc/h.ini)");
    EXPECT_EQ(message.icon, platform::MessageIcon::Warning);
    // Not a single file rewritten: entries 28 and 29 (files updated, restart) are not said.
    report.files = {{"a.xml", RegionFileOutcome::Unchanged, SkipReason::None, {}},
                    {"b", RegionFileOutcome::Skipped, SkipReason::Folder, {}}};
    entries[134] = "all had %1";
    const RegionHostsMessage allHad = regionHostsMessage(LanguageTable(entries), report);
    EXPECT_EQ(allHad.text, "all had 10.0.0.1\r\n<52> 1\r\n<53>\r\nb: <136>");
    EXPECT_EQ(allHad.icon, platform::MessageIcon::Information);
}

TEST(WidgetDialogs, TextsBecomeQtsForm)
{
    // A description that already shows its pattern shows it once.
    EXPECT_EQ(toQtFilter(listingFilter(builtInEnglish())).toStdString(), "Files txt (*.txt)");
    EXPECT_EQ(toQtFilter("File (OpenSim.exe)|OpenSim.exe").toStdString(), "File (OpenSim.exe)");
    EXPECT_EQ(toQtFilter("Scenes|*.xml|All|*.*;*").toStdString(), "Scenes (*.xml);;All (*.* *)");
    EXPECT_EQ(toDisplayText("a\r\nb\rc").toStdString(), "a\nb\nc");
    // A name typed without an ending gets the chosen filter's, where it has one.
    for (const auto& [filter, suffix] : std::vector<std::pair<const char*, const char*>>{
             {"Region archive (*.oar)", "oar"}, {"Files OS (*.xml)", "xml"}, {"Scenes (*.xml *.oar)", ""},
             {"File (OpenSim.exe)", ""}, {"All (*.*)", ""}, {"Odd (*.x)y)", ""}}) {
        EXPECT_EQ(defaultSuffixOf(QString::fromLatin1(filter)).toStdString(), suffix) << filter;
    }
}

}  // namespace
}  // namespace vantor::app
