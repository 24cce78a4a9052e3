#include "app/startup.h"

#include "app/splash_window.h"
#include "app_fakes.h"
#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimer>

namespace vantor::app {
namespace {

using namespace std::chrono_literals;

std::string languageFile(const std::string& code)
{
    std::string text;
    for (int k = 0; k < 38; ++k) text += code + " " + std::to_string(k) + "\r\n";
    return text;
}

class StartupTest : public ::testing::Test {
protected:
    StartupTest()
    {
        test::qtApplication();
        QGuiApplication::setQuitOnLastWindowClosed(false);
        files.files["/prog/EN.lng"] = languageFile("EN");
        files.files["/prog/FR.lng"] = languageFile("FR");
        session.programFolder = "/prog";
        session.languageFolder = "/prog";
    }
    ~StartupTest() override { QGuiApplication::setQuitOnLastWindowClosed(false); }

    Startup& make(StartupTimings timings = {0ms, 0ms})
    {
        startup = std::make_unique<Startup>(session, services, lookup, ConversionRunner{}, 2, timings);
        return *startup;
    }

    // Runs the event loop until the start-up window has closed, or a few seconds passed.
    bool waitForSplashClosed()
    {
        bool closed = false;
        QEventLoop loop;
        QObject::connect(startup.get(), &Startup::splashClosed, &loop, [&] {
            closed = true;
            loop.quit();
        });
        QTimer::singleShot(5s, &loop, &QEventLoop::quit);
        loop.exec();
        return closed;
    }

    test::FakeFileSystem files;
    test::FakeRandom random;
    test::FakeDialogs dialogs;
    test::FakeMessageBox messages;
    test::FakeInputBox input;
    test::FakeSettings settings;
    test::FakeAddressLookup lookup;
    AppServices services{files, random, dialogs, messages, input, settings};
    Session session;
    std::unique_ptr<Startup> startup;
};

TEST_F(StartupTest, SavedLanguageRunsTheWholeSequence)
{
    settings.values["param/Langue"] = "EN.lng";
    auto& run = make();
    ASSERT_TRUE(run.begin());
    EXPECT_TRUE(input.asked.empty());
    EXPECT_EQ(session.languageName, "EN.lng");
    EXPECT_EQ(session.lastFolder, "/prog");
    ASSERT_NE(run.mainWindow(), nullptr);
    EXPECT_FALSE(run.mainWindow()->isVisible());
    EXPECT_TRUE(run.splash()->isVisible());
    EXPECT_EQ(lookup.starts, 1);

    lookup.answer(std::string("198.51.100.23"));
    ASSERT_TRUE(waitForSplashClosed());
    EXPECT_TRUE(run.mainWindow()->isVisible());
    EXPECT_FALSE(run.splash()->isVisible());
    EXPECT_EQ(run.mainWindow()->findChild<QLabel*>(QStringLiteral("IP"))->text(), QStringLiteral("198.51.100.23"));
    EXPECT_TRUE(run.mainWindow()->findChild<QRadioButton*>(QStringLiteral("Option1"))->isEnabled());
    EXPECT_EQ(run.mainWindow()->findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->toPlainText(),
              QStringLiteral("EN 17"));
    run.mainWindow()->close();
}

TEST_F(StartupTest, NoAddressMeansOfflineAndTheFolderComesFromTheSettings)
{
    settings.values["param/Langue"] = "FR.lng";
    settings.values["param/Charger"] = "/home/ann/builds/";
    auto& run = make();
    ASSERT_TRUE(run.begin());
    EXPECT_EQ(session.lastFolder, "/home/ann/builds/");
    lookup.answer(std::nullopt);
    ASSERT_TRUE(waitForSplashClosed());
    EXPECT_EQ(session.publicAddress, "Offline");
    EXPECT_FALSE(run.mainWindow()->findChild<QRadioButton*>(QStringLiteral("Option1"))->isEnabled());
    run.mainWindow()->close();
}

TEST_F(StartupTest, MainWindowWaitsForTimer1)
{
    settings.values["param/Langue"] = "FR.lng";
    auto& run = make({150ms, 0ms});
    ASSERT_TRUE(run.begin());
    lookup.answer(std::string("198.51.100.23"));
    QEventLoop loop;
    QTimer::singleShot(50ms, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_FALSE(run.mainWindow()->isVisible());
    ASSERT_TRUE(waitForSplashClosed());
    EXPECT_TRUE(run.mainWindow()->isVisible());
    run.mainWindow()->close();
}

TEST_F(StartupTest, CancelEndsTheProgramQuietly)
{
    auto& run = make();
    EXPECT_FALSE(run.begin());
    EXPECT_EQ(run.mainWindow(), nullptr);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(lookup.starts, 0);
}

TEST_F(StartupTest, NoLanguageFileSaysWhereItLooked)
{
    files.files.clear();
    auto& run = make();
    EXPECT_FALSE(run.begin());
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_NE(messages.shown[0].text.find("/prog"), std::string::npos);
    EXPECT_TRUE(input.asked.empty());
    EXPECT_EQ(lookup.starts, 0);
}

TEST_F(StartupTest, UnreadableSavedLanguageIsSaidAndAskedAgain)
{
    settings.values["param/Langue"] = "FR.lng";
    files.unreadable.insert("/prog/FR.lng");
    input.answers = {std::string("en")};
    auto& run = make();
    ASSERT_TRUE(run.begin());
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_NE(messages.shown[0].text.find("FR.lng"), std::string::npos);
    EXPECT_EQ(session.languageName, "EN.lng");
    EXPECT_EQ(settings.param("Langue"), "EN.lng");
}

}  // namespace
}  // namespace vantor::app
