#include "app/shell_texts.h"
#include "app/widget_dialogs.h"

#include <gtest/gtest.h>

namespace vantor::app {
namespace {

struct RemoveCase {
    std::string text, what, expected;
    friend void PrintTo(const RemoveCase& c, std::ostream* os) { *os << c.text << " - " << c.what; }
};
class RemoveAll : public ::testing::TestWithParam<RemoveCase> {};
TEST_P(RemoveAll, RemovesEveryOccurrenceLeftToRight)
{
    EXPECT_EQ(removeAll(GetParam().text, GetParam().what), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Texts, RemoveAll, ::testing::Values(
    RemoveCase{"/home/ann/prims.txt", "prims.txt", "/home/ann/"},
    RemoveCase{"/a/x.txt/x.txt", "x.txt", "/a//"},
    RemoveCase{"aaa", "aa", "a"},
    RemoveCase{"abc", "", "abc"},
    RemoveCase{"", "x", ""}));

TEST(ChosenFile, FolderKeepsItsSeparatorAndLosesTheWildcard)
{
    EXPECT_EQ(folderOfChosenFile("/home/ann/builds/prims.txt", "prims.txt"), "/home/ann/builds/");
    EXPECT_EQ(folderOfChosenFile("/home/ann/builds/*.txt", ""), "/home/ann/builds/");
    EXPECT_EQ(withTrailingSeparator("/home/ann"), "/home/ann/");
    EXPECT_EQ(withTrailingSeparator("/home/ann/"), "/home/ann/");
    EXPECT_EQ(withTrailingSeparator(""), "/");
}

TEST(LanguageBox, PromptListsTheFilesWithoutExtension)
{
    EXPECT_EQ(languageList({"EN.lng", "FR.lng"}), "(EN, FR)");
    EXPECT_EQ(languageList({"FR.lng"}), "(FR)");
    EXPECT_EQ(languagePrompt({"EN.lng", "FR.lng"}),
              "Please type your language below.\r\nVeuillez saisir votre langue ci-dessous.\r\n\r\n(EN, FR)");
}

struct AnswerCase {
    std::string answer, fileName;
    friend void PrintTo(const AnswerCase& c, std::ostream* os) { *os << '"' << c.answer << '"'; }
};
class LanguageAnswer : public ::testing::TestWithParam<AnswerCase> {};
TEST_P(LanguageAnswer, IsUpperCasedWithLowerCaseExtension)
{
    EXPECT_EQ(languageFileName(GetParam().answer), GetParam().fileName);
}
INSTANTIATE_TEST_SUITE_P(Answers, LanguageAnswer, ::testing::Values(
    AnswerCase{"en", "EN.lng"}, AnswerCase{"FR", "FR.lng"}, AnswerCase{"fr.lng", "FR.LNG.lng"},
    AnswerCase{"", ".lng"}, AnswerCase{"es ", "ES .lng"}, AnswerCase{"é", "É.lng"}));

LanguageTable numberedTable()
{
    std::vector<std::string> entries;
    for (int i = 0; i < 38; ++i) entries.push_back("<" + std::to_string(i) + ">");
    return LanguageTable(std::move(entries));
}

struct MessageCase {
    convert::ConversionOutcome outcome;
    std::optional<std::string> expected;
    friend void PrintTo(const MessageCase& c, std::ostream* os) { *os << "outcome " << static_cast<int>(c.outcome); }
};
class ConversionMessage : public ::testing::TestWithParam<MessageCase> {};
TEST_P(ConversionMessage, JoinsTheLanguageEntries)
{
    convert::ConversionReport report;
    report.outcome = GetParam().outcome;
    report.listingName = "maison.xml";
    report.failingRecordText = "[9:05]  Cube: 1, <a, 2, 3>";
    report.failedPath = "/opt/os/maison.xml";
    report.failureReason = "Permission denied";
    EXPECT_EQ(conversionMessage(numberedTable(), report), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Outcomes, ConversionMessage, ::testing::Values(
    MessageCase{convert::ConversionOutcome::Cancelled, std::nullopt},
    MessageCase{convert::ConversionOutcome::Done, "<22>maison.xml<23>"},
    MessageCase{convert::ConversionOutcome::GuardStop, "<22>maison.xml<23>"},
    MessageCase{convert::ConversionOutcome::ConversionError, "<24>\r\n\r\n<25>\r\n[9:05]  Cube: 1, <a, 2, 3>"},
    MessageCase{convert::ConversionOutcome::RecordTooShort, "<26>\r\n<27>"},
    MessageCase{convert::ConversionOutcome::OutputFailed,
                "The file /opt/os/maison.xml could not be written: Permission denied. Nothing was written.\r\n"
                "Le fichier /opt/os/maison.xml n'a pas pu être écrit : Permission denied. Rien n'a été écrit."}));

TEST(ConversionMessage, OverwriteQuestionHasTwoLines)
{
    EXPECT_EQ(overwriteQuestion(numberedTable()), "<20>\r\n<21>");
}

TEST(AboutWindowText, VersionLineFollowsOnlyTheRevision)
{
    EXPECT_EQ(versionLine(2), "Vantor V6.0.2");
    EXPECT_EQ(versionLine(12), "Vantor V6.0.12");
}

TEST(FileDialogFilter, BecomesQtsForm)
{
    EXPECT_EQ(toQtFilter(kListingFilter), QStringLiteral("Files txt(*.txt) (*.txt)"));
    EXPECT_EQ(toQtFilter(kOpenSimFilter), QStringLiteral("File (OpenSim.exe) (OpenSim.exe)"));
    EXPECT_EQ(toQtFilter("Scenes|*.xml|All|*.*;*"), QStringLiteral("Scenes (*.xml);;All (*.* *)"));
    EXPECT_EQ(toDisplayText("a\r\nb\rc"), QStringLiteral("a\nb\nc"));
}

}  // namespace
}  // namespace vantor::app
