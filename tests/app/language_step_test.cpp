#include "app/language_step.h"

#include "app_fakes.h"
#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

namespace vantor::app {
namespace {

class LanguageStep : public ::testing::Test {
protected:
    void SetUp() override
    {
        files.files["/prog/EN.lng"] = "English\r\n";
        files.files["/prog/FR.lng"] = "Français\r\n";
    }
    LanguageStepResult settle() { return settleLanguage(settings, files, input, "/prog"); }

    test::FakeFileSystem files;
    test::FakeSettings settings;
    test::FakeInputBox input;
};

TEST_F(LanguageStep, SavedNameWithItsFileAsksNothing)
{
    settings.values["param/Langue"] = "FR.lng";
    EXPECT_EQ(settle(), (LanguageStepResult{LanguageStepEnd::Chosen, "FR.lng"}));
    EXPECT_TRUE(input.asked.empty());
    EXPECT_TRUE(settings.writes.empty());
}

TEST_F(LanguageStep, FirstRunAsksWithTheListAndSavesTheUpperCasedAnswer)
{
    input.answers = {std::string("en")};
    EXPECT_EQ(settle(), (LanguageStepResult{LanguageStepEnd::Chosen, "EN.lng"}));
    ASSERT_EQ(input.asked.size(), 1U);
    EXPECT_EQ(input.asked[0].title, "Vantor - Kestrane");
    EXPECT_EQ(input.asked[0].defaultText, "FR");
    EXPECT_EQ(input.asked[0].prompt,
              "Please type your language below.\r\nVeuillez saisir votre langue ci-dessous.\r\n\r\n(EN, FR)");
    EXPECT_EQ(settings.param("Langue"), "EN.lng");
}

TEST_F(LanguageStep, StaleNameIsForgottenAndTheBoxAsks)
{
    settings.values["param/Langue"] = "IT.lng";
    input.answers = {std::string("FR")};
    EXPECT_EQ(settle(), (LanguageStepResult{LanguageStepEnd::Chosen, "FR.lng"}));
    ASSERT_GE(settings.writes.size(), 2U);
    EXPECT_EQ(settings.writes[0], (std::pair<std::string, std::string>{"Langue", ""}));
    EXPECT_EQ(settings.param("Langue"), "FR.lng");
}

TEST_F(LanguageStep, WrongAnswersBringTheBoxBack)
{
    input.answers = {std::string("fr.lng"), std::string("IT"), std::string(""), std::string("fr")};
    EXPECT_EQ(settle(), (LanguageStepResult{LanguageStepEnd::Chosen, "FR.lng"}));
    EXPECT_EQ(input.asked.size(), 4U);
}

TEST_F(LanguageStep, CancelEndsTheProgram)
{
    input.answers = {std::string("IT"), std::nullopt};
    EXPECT_EQ(settle().end, LanguageStepEnd::Cancelled);
    EXPECT_EQ(input.asked.size(), 2U);
    EXPECT_EQ(settings.param("Langue"), "<absent>");
}

TEST_F(LanguageStep, NoLanguageFileAtAllAsksNothing)
{
    files.files.clear();
    settings.values["param/Langue"] = "FR.lng";
    EXPECT_EQ(settle().end, LanguageStepEnd::NoLanguageFile);
    EXPECT_TRUE(input.asked.empty());
}

}  // namespace
}  // namespace vantor::app
