#include "app/language_folder.h"
#include "app/language_table.h"
#include "fakes/fake_platform.h"
#include "platform/std_platform.h"

#include <gtest/gtest.h>

namespace vantor::app {
namespace {

TEST(LanguageTable, EveryLineEndMakesAnEntryAndBlanksStay)
{
    const auto table = LanguageTable::fromFileBytes("zero\r\n one \rtwo\nthree\r\n\r\nfive");
    ASSERT_EQ(table.size(), 6U);
    EXPECT_EQ(table.entry(0), "zero");
    EXPECT_EQ(table.entry(1), " one ");
    EXPECT_EQ(table.entry(2), "two");
    EXPECT_EQ(table.entry(3), "three");
    EXPECT_EQ(table.entry(4), "");
    EXPECT_EQ(table.entry(5), "five");
}

TEST(LanguageTable, MissingEntriesAreEmpty)
{
    const auto table = LanguageTable::fromFileBytes("only\r\ntwo lines\r\n");
    EXPECT_EQ(table.size(), 2U);
    EXPECT_EQ(table.entry(17), "");
    EXPECT_EQ(table.entry(37), "");
}

TEST(LanguageTable, Windows1252BytesAreDecoded)
{
    const auto table = LanguageTable::fromFileBytes("G\xe9n\xe9rer XML\r\n");
    EXPECT_EQ(table.entry(0), "Générer XML");
}

TEST(LanguageTable, UnreadableFileGivesNothingWithTheReason)
{
    test::FakeFileSystem files;
    files.files["/p/FR.lng"] = "x\r\n";
    files.unreadable.insert("/p/FR.lng");
    std::string reason;
    EXPECT_FALSE(readLanguageFile(files, "/p", "FR.lng", &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(readLanguageFile(files, "/p", "EN.lng"));
    files.unreadable.clear();
    EXPECT_EQ(readLanguageFile(files, "/p", "FR.lng")->entry(0), "x");
}

TEST(LanguageFolder, ProgramFolderFirstThenDataFolder)
{
    test::FakeFileSystem files;
    files.files["/data/EN.lng"] = "";
    EXPECT_EQ(chooseLanguageFolder(files, "/bin", "/data"), "/data");
    files.files["/bin/FR.lng"] = "";
    EXPECT_EQ(chooseLanguageFolder(files, "/bin", "/data"), "/bin");
    EXPECT_EQ(chooseLanguageFolder(test::FakeFileSystem{}, "/bin", "/data"), "/bin");
}

// The shipped language files: 38 lines, UTF-8 without byte-order mark, CR LF everywhere.
class ShippedLanguageFile : public ::testing::TestWithParam<const char*> {};

TEST_P(ShippedLanguageFile, HasEveryEntryInItsPlace)
{
    platform::StdFileSystem files;
    const std::string folder = std::string(VANTOR_SOURCE_DIR) + "/lang";
    const auto bytes = files.readAll(folder + "/" + GetParam(), nullptr);
    ASSERT_TRUE(bytes);
    EXPECT_NE(bytes->substr(0, 3), "\xEF\xBB\xBF");
    std::size_t lines = 0;
    for (std::size_t i = 0; i < bytes->size(); ++i) {
        if ((*bytes)[i] == '\n') {
            EXPECT_TRUE(i > 0 && (*bytes)[i - 1] == '\r') << "bare LF at byte " << i;
            ++lines;
        } else if ((*bytes)[i] == '\r') {
            EXPECT_TRUE(i + 1 < bytes->size() && (*bytes)[i + 1] == '\n') << "bare CR at byte " << i;
        }
    }
    EXPECT_EQ(lines, entry::kCount);
    const auto table = LanguageTable::fromFileBytes(*bytes);
    for (std::size_t k = 10; k < entry::kCount; ++k) EXPECT_FALSE(table.entry(k).empty()) << "entry " << k;
    EXPECT_EQ(table.entry(32), "Save xml/txt ");
    // Entry 35 follows a path directly in its message.
    const char first = table.entry(35).front();
    EXPECT_TRUE(first == ' ' || first == ':' || first == ',' || first == '.') << table.entry(35);
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguageFile, ::testing::Values("EN.lng", "FR.lng", "DE.lng", "ES.lng"));

TEST(ShippedLanguageFile, FrenchCarriesTheDesignTexts)
{
    platform::StdFileSystem files;
    const auto table = readLanguageFile(files, std::string(VANTOR_SOURCE_DIR) + "/lang", "FR.lng");
    ASSERT_TRUE(table);
    const std::vector<std::pair<std::size_t, std::string>> design = {
        {10, "Position du Rez sur OS"}, {11, "Chemin OS :"}, {12, "Parcourir"}, {13, "Charger TXT"},
        {14, "Générer XML"}, {15, "Charger XML"}, {16, "A Propos..."},
        {17, "Ajoutez ici le code généré par le Scribelet..."}, {30, "Extraire"}, {31, "Tout selectionner"},
        {32, "Save xml/txt "}, {33, "Charger XML"}, {34, "Inverse"}};
    for (const auto& [k, text] : design) EXPECT_EQ(table->entry(k), text) << "entry " << k;
}

}  // namespace
}  // namespace vantor::app
