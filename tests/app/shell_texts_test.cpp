#include "app/shell_texts.h"
#include "app/widget_dialogs.h"

#include <gtest/gtest.h>

namespace vantor::app {
namespace {

TEST(ShellTexts, NamesAndFoldersAreCutAsTyped)
{
    EXPECT_EQ(removeAll("/a/x.txt/x.txt", "x.txt"), "/a//");
    EXPECT_EQ(removeAll("aaa", "aa"), "a");  // left to right, no overlap
    EXPECT_EQ(removeAll("abc", ""), "abc");
    EXPECT_EQ(folderOfChosenFile("/home/ann/builds/*.txt", ""), "/home/ann/builds/");
    // The answer is upper-cased beyond ASCII and never trimmed.
    EXPECT_EQ(languageFileName("é"), "É.lng");
    EXPECT_EQ(languageFileName("es "), "ES .lng");
    EXPECT_EQ(versionLine(12), "Vantor V6.0.12");
}

// Done, ConversionError and Cancelled are worded in the main window's runs.
TEST(ShellTexts, OtherOutcomesJoinTheirLanguageEntries)
{
    std::vector<std::string> entries;
    for (int i = 0; i < 38; ++i) entries.push_back("<" + std::to_string(i) + ">");
    const LanguageTable texts(std::move(entries));
    using convert::ConversionOutcome;
    const std::vector<std::pair<ConversionOutcome, std::optional<std::string>>> cases = {
        {ConversionOutcome::GuardStop, "<22>maison.xml<23>"},
        {ConversionOutcome::RecordTooShort, "<26>\r\n<27>"},
        {ConversionOutcome::OutputFailed,
         "The file /opt/os/maison.xml could not be written: Permission denied. Nothing was written.\r\n"
         "Le fichier /opt/os/maison.xml n'a pas pu être écrit : Permission denied. Rien n'a été écrit."}};
    convert::ConversionReport report;
    report.listingName = "maison.xml";
    report.failedPath = "/opt/os/maison.xml";
    report.failureReason = "Permission denied";
    for (const auto& [outcome, expected] : cases) {
        report.outcome = outcome;
        EXPECT_EQ(conversionMessage(texts, report), expected) << static_cast<int>(outcome);
    }
}

TEST(WidgetDialogs, FiltersAndLineEndsBecomeQtsForm)
{
    EXPECT_EQ(toQtFilter(kListingFilter).toStdString(), "Files txt(*.txt) (*.txt)");
    EXPECT_EQ(toQtFilter(kOpenSimFilter).toStdString(), "File (OpenSim.exe) (OpenSim.exe)");
    EXPECT_EQ(toQtFilter("Scenes|*.xml|All|*.*;*").toStdString(), "Scenes (*.xml);;All (*.* *)");
    EXPECT_EQ(toDisplayText("a\r\nb\rc").toStdString(), "a\nb\nc");
}

}  // namespace
}  // namespace vantor::app
