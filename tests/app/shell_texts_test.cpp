#include "app/shell_texts.h"
#include "app/widget_dialogs.h"

#include <gtest/gtest.h>

namespace vantor::app {
namespace {

TEST(ShellTexts, NamesAndFoldersAreCutAsTyped)
{
    EXPECT_EQ(folderOfChosenFile("/home/ann/builds/*.txt", ""), "/home/ann/builds/");
    // The answer is upper-cased beyond ASCII and never trimmed.
    EXPECT_EQ(languageFileName("é"), "É.lng");
    EXPECT_EQ(languageFileName("es "), "ES .lng");
    EXPECT_EQ(versionLine(12), "Vantor V6.0.12");
}

TEST(ShellTexts, OutcomesJoinTheirLanguageEntries)
{
    std::vector<std::string> entries;
    for (int i = 0; i < 46; ++i) entries.push_back("<" + std::to_string(i) + ">");
    entries[entry::kObjectsWritten] = "written: %1";
    entries[entry::kOutputFailedMessage] = "%1 failed (%2), %3";
    const LanguageTable texts(std::move(entries));
    using convert::ConversionOutcome;
    const std::vector<std::pair<ConversionOutcome, std::optional<std::string>>> cases = {
        {ConversionOutcome::Cancelled, std::nullopt},
        {ConversionOutcome::Done, "<22>maison.xml<23>\r\nwritten: 3"},
        {ConversionOutcome::GuardStop, "<22>maison.xml<23>\r\nwritten: 3"},
        // The record stands directly under the line that announces it.
        {ConversionOutcome::ConversionError, "<24>\r\n\r\n<25>\r\n[12:00] Scribelet: Wall<1, 2, 3>"},
        {ConversionOutcome::RecordTooShort, "<26>\r\n<27>"},
        {ConversionOutcome::OutputFailed, "/opt/os/maison.xml failed (disk %2 full), %3"}};
    convert::ConversionReport report;
    report.listingName = "maison.xml";
    report.primCount = 3;
    report.failingRecordText = "\n[12:00] Scribelet: Wall<1, 2, 3>\r";
    report.failedPath = "/opt/os/maison.xml";
    report.failureReason = "disk %2 full";
    for (const auto& [outcome, expected] : cases) {
        report.outcome = outcome;
        EXPECT_EQ(conversionMessage(texts, report), expected) << static_cast<int>(outcome);
    }
    EXPECT_EQ(withoutXmlExtension("maison.xml"), "maison");
    EXPECT_EQ(withoutXmlExtension("maison.xml.xml"), "maison.xml");
    EXPECT_EQ(withoutXmlExtension("maison.XML"), "maison.XML");
    EXPECT_EQ(withoutXmlExtension(".xml"), "");
}

TEST(WidgetDialogs, FiltersAndLineEndsBecomeQtsForm)
{
    // A description that already shows its pattern shows it once.
    EXPECT_EQ(toQtFilter(listingFilter(builtInEnglish())).toStdString(), "Files txt (*.txt)");
    EXPECT_EQ(toQtFilter("File (OpenSim.exe)|OpenSim.exe").toStdString(), "File (OpenSim.exe)");
    EXPECT_EQ(toQtFilter("Scenes|*.xml|All|*.*;*").toStdString(), "Scenes (*.xml);;All (*.* *)");
    EXPECT_EQ(toDisplayText("a\r\nb\rc").toStdString(), "a\nb\nc");
}

}  // namespace
}  // namespace vantor::app
