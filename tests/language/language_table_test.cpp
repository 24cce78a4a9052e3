#include "language/language_folder.h"
#include "language/language_table.h"

#include "platform/std_platform.h"
#include "testing/fake_platform.h"
#include "text/text_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace vantor::language {
namespace {

TEST(LanguageTable, EveryLineEndEndsAnEntry)
{
    const auto table = LanguageTable::fromFileBytes("zero\r\n one \rtwo\nG\xe9n\xe9rer\r\n\r\nfive");
    const std::vector<std::string> expected = {"zero", " one ", "two", "Générer", "", "five"};
    ASSERT_EQ(table.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(table.entry(k), expected[k]) << k;
    EXPECT_EQ(table.entry(37), "");
}

TEST(LanguageTable, ProgramTextsFallBackToTheBuiltInEnglish)
{
    const auto& english = builtInEnglish();
    ASSERT_GT(english.size(), entry::kCount);
    std::vector<std::string> lines(entry::kCount + 2, "own");
    lines[entry::kCount + 1] = "";  // an empty program text counts as missing
    const LanguageTable table(lines);
    EXPECT_EQ(table.entry(entry::kCount - 1), "own");
    EXPECT_EQ(table.entry(entry::kCount), "own");
    for (std::size_t k = entry::kCount + 1; k <= entry::kLastProgramText; ++k)
        EXPECT_EQ(table.entry(k), english.entry(k)) << k;
    // Below the program texts, a short file still gives empty texts.
    EXPECT_EQ(LanguageTable(std::vector<std::string>{"a"}).entry(20), "");
}

TEST(LanguageFolder, ProgramFolderFirstThenDataFoldersInOrder)
{
    struct Case {
        std::vector<std::string> lngFiles;
        std::string expected;
    };
    // An installed tree: /opt/v/bin/vantor, configured for /usr/local but moved to /opt/v.
    const std::vector<std::string> dataFolders = {"../share/vantor/lang", "/usr/local/share/vantor/lang"};
    const std::vector<Case> cases = {
        {{}, "/opt/v/bin"},
        {{"/usr/local/share/vantor/lang/EN.lng"}, "/usr/local/share/vantor/lang"},
        {{"/opt/v/share/vantor/lang/EN.lng", "/usr/local/share/vantor/lang/EN.lng"}, "/opt/v/share/vantor/lang"},
        {{"/opt/v/bin/FR.lng", "/opt/v/share/vantor/lang/EN.lng"}, "/opt/v/bin"},
        {{"/opt/v/share/vantor/lang/notes.txt"}, "/opt/v/bin"},
    };
    for (const auto& c : cases) {
        test::FakeFileSystem files;
        for (const auto& path : c.lngFiles) files.files[path] = "";
        EXPECT_EQ(chooseLanguageFolder(files, "/opt/v/bin", dataFolders), c.expected) << c.expected;
    }
    test::FakeFileSystem files;
    files.files["/data/EN.lng"] = "";
    const std::vector<std::string> withEmpty = {"", "/data/"};
    EXPECT_EQ(chooseLanguageFolder(files, "/bin", withEmpty), "/data");
}

// The shipped language files: UTF-8 without byte-order mark, CR LF everywhere, the same
// number of lines, every used entry filled, the language's name on the first line, the
// French one with the design texts spelled right.
TEST(ShippedLanguageFiles, HaveEveryEntryInItsPlace)
{
    const std::map<std::size_t, std::string> design = {
        {10, "Position du Rez sur OS"}, {11, "Chemin OS :"}, {12, "Parcourir"}, {13, "Charger TXT"},
        {14, "Générer XML"}, {15, "Charger XML"}, {16, "À propos..."},
        {17, "Ajoutez ici le code généré par le Scribelet..."}, {30, "Extraire"}, {31, "Tout sélectionner"},
        {32, "Enregistrer xml/txt"}, {33, "Charger XML"}, {34, "Inverse"}, {123, "À propos"}};
    const std::map<std::string, std::string> names = {
        {"EN.lng", "English"}, {"FR.lng", "Français"}, {"DE.lng", "Deutsch"}, {"ES.lng", "Español"}};
    const auto read = [](const std::string& name) {
        return platform::StdFileSystem().readAll(VANTOR_SOURCE_DIR "/lang/" + name, nullptr).value_or("");
    };
    const auto english = LanguageTable::fromFileBytes(read("EN.lng"));
    ASSERT_GE(english.size(), entry::kCount);
    for (const std::string name : {"EN.lng", "FR.lng", "DE.lng", "ES.lng"}) {
        const std::string bytes = read(name);
        EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF") << name;
        // One CR LF pair per line and no other CR or LF.
        std::size_t pairs = 0;
        for (auto at = bytes.find("\r\n"); at != std::string::npos; at = bytes.find("\r\n", at + 2)) ++pairs;
        EXPECT_EQ(pairs, english.size()) << name;
        EXPECT_EQ(std::ranges::count(bytes, '\r') + std::ranges::count(bytes, '\n'), 2 * static_cast<long>(pairs))
            << name;
        const auto table = LanguageTable::fromFileBytes(bytes);
        for (std::size_t k = 10; k < entry::kCount; ++k) EXPECT_FALSE(table.entry(k).empty()) << name << " " << k;
        // Every program text that English has is in the file itself, not taken from English.
        const std::string decoded = text::decodeText(bytes);
        const auto lines = text::splitLines(decoded);
        for (std::size_t k = entry::kCount; k < english.size() && k < lines.size(); ++k)
            EXPECT_EQ(lines[k].empty(), english.entry(k).empty()) << name << " " << k;
        // Entry 35 follows a path directly in its message.
        EXPECT_NE(std::string(" :,.").find(table.entry(35).substr(0, 1)), std::string::npos) << name;
        EXPECT_EQ(table.entry(0), names.at(name));
        // Every text the windows show is the file's own; "%1" stands where the file name goes.
        // Entries kept free for later texts are empty in English too (checked above).
        for (std::size_t k = entry::kMainWindowTitle; k <= entry::kLastProgramText; ++k)
            EXPECT_FALSE(lines.at(k).empty() && !english.entry(k).empty()) << name << " " << k;
        EXPECT_NE(table.entry(entry::kMapWindowFileTitle).find("%1"), std::string::npos) << name;
        if (name != "FR.lng") continue;
        for (const auto& [k, text] : design) EXPECT_EQ(table.entry(k), text) << "entry " << k;
    }
}

}  // namespace
}  // namespace vantor::language
