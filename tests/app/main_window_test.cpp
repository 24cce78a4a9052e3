#include "app/main_window.h"

#include "app/splash_window.h"
#include "app/startup.h"
#include "convert/text_codec.h"
#include "fakes/fake_platform.h"
#include "platform/std_platform.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <deque>
#include <map>

namespace vantor::app {
namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::pair<const char*, std::string>>;   // control, text shown
using Writes = std::vector<std::pair<std::string, std::string>>;  // setting, value

// Records what was asked and answers from a queue, whenEmpty once the queue is used up.
template <typename Answer>
struct Scripted {
    std::vector<std::string> asked;
    std::deque<Answer> answers;

    Answer next(std::string what, Answer whenEmpty)
    {
        asked.push_back(std::move(what));
        if (answers.empty()) return whenEmpty;
        Answer answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};

// Settings in memory; writes are also recorded in order.
struct FakeSettings final : platform::SettingsStore {
    std::map<std::string, std::string> values;  // "section/key" -> value
    std::vector<std::pair<std::string, std::string>> writes;  // key, value

    std::string read(const std::string& section, const std::string& key, const std::string& fallback) const override
    {
        const auto it = values.find(section + "/" + key);
        return it == values.end() ? fallback : it->second;
    }
    void write(const std::string& section, const std::string& key, const std::string& value) override
    {
        values[section + "/" + key] = value;
        writes.emplace_back(key, value);
    }
    [[nodiscard]] std::string param(const std::string& key) const { return read("param", key, "<absent>"); }
};

// Records "title | prompt | default" of each question; an empty queue cancels.
struct FakeInputBox final : platform::InputBox, Scripted<std::optional<std::string>> {
    std::optional<std::string> ask(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) override
    {
        return next(title + " | " + prompt + " | " + defaultText, std::nullopt);
    }
};

// Records every message; Yes/No questions are answered from the queue (No when empty).
struct FakeMessageBox final : platform::MessageBox, Scripted<bool> {
    std::vector<std::string> shown;

    void showMessage(const std::string& text, const std::string& title, platform::MessageIcon) override
    {
        EXPECT_EQ(title, platform::kApplicationTitle);
        shown.push_back(text);
    }
    bool askYesNo(const std::string& text, const std::string& title) override
    {
        EXPECT_EQ(title, platform::kApplicationTitle);
        return next(text, false);
    }
};

// Records "folder | proposed name | filter" of each file dialog; an empty queue cancels.
struct FakeDialogs final : platform::Dialogs, Scripted<std::optional<platform::ChosenFile>> {
    std::optional<platform::ChosenFile> openFile(const platform::FileDialogRequest& request) override
    {
        return next(request.folder + " | " + request.proposedName + " | " + request.filter, std::nullopt);
    }
    std::optional<platform::ChosenFile> saveFile(const platform::FileDialogRequest& request) override
    {
        return openFile(request);
    }
};

// The header and the first records of the bundled example listing.
std::string exampleListing(std::size_t records)
{
    const std::string text = convert::toCrLfLines(convert::decodeText(
        platform::StdFileSystem().readAll(VANTOR_SOURCE_DIR "/examples/house.txt", nullptr).value_or("")));
    std::size_t end = 0;
    for (std::size_t line = 0; line < 1 + 2 * records; ++line) end = text.find("\r\n", end) + 2;
    return text.substr(0, end);
}

// A language file whose entry k reads "<code> <k>".
std::string languageFile(const std::string& code, std::size_t lines = 38)
{
    std::string text;
    for (std::size_t k = 0; k < lines; ++k) text += code + " " + std::to_string(k) + "\r\n";
    return text;
}

// The main window, opened directly or through the start-up, driven through fakes as a user
// would, with EN.lng and FR.lng in the program folder /prog. It also plays the address service,
// holding the callback until the test answers.
class MainWindowTest : public ::testing::Test, public platform::PublicAddressLookup {
protected:
    MainWindowTest()
    {
        // One QApplication (offscreen) for the program, never destroyed: tearing it down among
        // the other static objects at exit crashes inside Qt.
        static int argc = 1;
        static char name[] = "app_tests";
        static char* argv[] = {name, nullptr};
        static const auto* application = new QApplication(argc, argv);
        (void)application;
        // The start-up makes the main window's closing end the program; no test may quit.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        files.files["/prog/EN.lng"] = languageFile("EN");
        files.files["/prog/FR.lng"] = languageFile("FR");
        session.programFolder = session.languageFolder = "/prog";
    }
    ~MainWindowTest() override { QGuiApplication::setQuitOnLastWindowClosed(false); }

    void open(ConversionRunner runner = &convert::runConversion)
    {
        session.lastFolder = "/prog";
        window = std::make_unique<MainWindow>(session, services, std::move(runner), 2);
        EXPECT_TRUE(window->loadLanguage("FR.lng"));
        window->fillFromSettings();
    }
    bool begin(StartupTimings timings = {0ms, 0ms})
    {
        startup = std::make_unique<Startup>(session, services, *this, ConversionRunner{}, 2, timings);
        return startup->begin();
    }
    void start(Callback done) override
    {
        ++lookups;
        pendingLookup = std::move(done);
    }
    MainWindow* form() const { return startup ? startup->mainWindow() : window.get(); }
    template <typename T = QWidget>
    T* child(const char* name) const
    {
        T* found = form()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    // The property holding what a control shows: a chooser's current text, a listing box's plain text, else text.
    static const char* textOf(const QWidget* widget)
    {
        return widget->property("currentText").isValid() ? "currentText"
               : widget->property("plainText").isValid() ? "plainText"
                                                         : "text";
    }
    void expectShown(const Texts& texts) const
    {
        for (const auto& [name, text] : texts) {
            EXPECT_EQ(child(name)->property(textOf(child(name))).toString().toStdString(), text) << name;
        }
    }
    void type(const Texts& texts) const
    {
        for (const auto& [name, text] : texts) {
            child(name)->setProperty(textOf(child(name)), QString::fromStdString(text));
        }
    }
    void click(const char* name) const { child<QAbstractButton>(name)->click(); }
    void clickListingBox() const
    {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(child<QPlainTextEdit>("Text1")->viewport(), &press);
    }
    void chooseLanguage(const char* name) const
    {
        auto* combo = child<QComboBox>("Combo1");
        combo->setCurrentIndex(combo->findText(QString::fromLatin1(name)));
        emit combo->activated(combo->currentIndex());
    }
    // Runs "Générer XML" on the listing into the folder, answering the name question.
    void generate(const std::string& listing, const char* name, const char* folder = "/os/")
    {
        type({{"Text8", folder}, {"Text1", listing}});
        input.answers = {std::string(name)};
        click("Command1");
    }
    // Lets events through until done says so or the time is up; gives done's last answer.
    static bool runEvents(std::chrono::milliseconds upTo, const std::function<bool()>& done)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < upTo.count()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return done();
    }

    test::FakeFileSystem files;
    test::FakeRandom random;
    FakeDialogs dialogs;
    FakeMessageBox messages;
    FakeInputBox input;
    FakeSettings settings;
    AppServices services{files, random, dialogs, messages, input, settings};
    Session session;
    Callback pendingLookup;
    int lookups = 0;
    std::unique_ptr<Startup> startup;
    std::unique_ptr<MainWindow> window;
};

class StartupTest : public MainWindowTest {};

TEST_F(MainWindowTest, DesignCaptionsLanguageTextsAndFirstRunDefaults)
{
    open();
    EXPECT_EQ(window->windowTitle().toStdString(), "SL - > OpenSim - Prim Converter");
    EXPECT_EQ(window->size(), QSize(704, 540));
    EXPECT_EQ(child("Command7")->geometry(), QRect(632, 0, 65, 49));
    EXPECT_EQ(child("Text1")->geometry(), QRect(0, 72, 697, 467));
    expectShown({{"Label5", "FR 10"}, {"Label6", "FR 11"}, {"Command5", "FR 12"}, {"Command2", "FR 13"},
                 {"Command1", "FR 14"}, {"Command4", "FR 15"}, {"Command7", "FR 16"}, {"Text1", "FR 17"},
                 {"Label7", "External Host :"}, {"LabelUUID", "UUID :"}, {"Option0", "Local"},
                 {"Option1", "Internet"}, {"Text8", "/prog/"}, {"Text5", "125"}, {"Text6", "125"}, {"Text7", "25"},
                 {"Text3", "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13"}});
}

TEST_F(MainWindowTest, ShutDownWritesTheSettingsInOrderAndTheyComeBackUnchanged)
{
    settings.values["param/Langue"] = "FR.lng";
    open();
    session.lastFolder = "/home/ann/builds/";
    const Texts typed = {
        {"Text8", "/opt/open sim/"}, {"Text5", "12,5"}, {"Text6", "abc"}, {"Text7", " 30 "}, {"Text3", "owner"}};
    type(typed);
    window->show();
    window->close();
    EXPECT_EQ(settings.writes, (Writes{{"CheminOS", "/opt/open sim/"}, {"X", "12,5"}, {"Y", "abc"}, {"Z", " 30 "},
                                       {"UUID", "owner"}, {"Charger", "/home/ann/builds/"}, {"Langue", "FR.lng"}}));
    open();
    expectShown(typed);
}

TEST_F(MainWindowTest, LanguageChooserSelectsOnlyAnExactName)
{
    // Saved name, chooser's index, its text, then the language loaded and saved at shut-down.
    const std::vector<std::tuple<const char*, int, const char*, std::string>> cases = {
        {"FR.lng", 1, "FR.lng", "FR.lng"}, {"EN.lng", 0, "EN.lng", "EN.lng"}, {"fr.lng", -1, "Combo1", "FR.lng"},
        {"FR", -1, "Combo1", "FR.lng"}, {"None", -1, "Combo1", "FR.lng"}};
    for (const auto& [saved, index, chooserText, language] : cases) {
        settings.values["param/Langue"] = saved;
        open();
        EXPECT_EQ(child<QComboBox>("Combo1")->currentIndex(), index) << saved;
        expectShown({{"Combo1", chooserText}, {"Command1", language.substr(0, 2) + " 14"}});
        window->saveSettings();
        EXPECT_EQ(settings.param("Langue"), language) << saved;
    }
}

TEST_F(MainWindowTest, PlaceholderClickAndLanguageSwitch)
{
    open();
    clickListingBox();
    expectShown({{"Text1", ""}});
    EXPECT_EQ(session.listingName, "défaut");
    session.listingName = "other";
    type({{"Text1", "a listing\r\n"}});
    clickListingBox();
    EXPECT_EQ(window->listingText(), "a listing\r\n");
    EXPECT_EQ(session.listingName, "other");

    chooseLanguage("EN.lng");
    expectShown({{"Text1", "EN 17"}, {"Command7", "EN 16"}, {"Label5", "EN 10"}});
    window->saveSettings();
    EXPECT_EQ(settings.param("Langue"), "EN.lng");

    // A short file gives empty texts; the empty box then equals the placeholder.
    files.files["/prog/FR.lng"] = languageFile("FR", 14);
    chooseLanguage("FR.lng");
    expectShown({{"Command2", "FR 13"}, {"Command1", ""}, {"Text1", ""}});
    clickListingBox();
    EXPECT_EQ(session.listingName, "défaut");

    // A file that cannot be read keeps the language in use, and says so.
    files.unreadable.insert("/prog/EN.lng");
    type({{"Text1", "kept"}});
    chooseLanguage("EN.lng");
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_NE(messages.shown[0].find("EN.lng cannot be read (Permission denied)"), std::string::npos);
    expectShown({{"Command2", "FR 13"}, {"Combo1", "FR.lng"}, {"Text1", "kept"}});
    window->saveSettings();
    EXPECT_EQ(settings.param("Langue"), "FR.lng");
}

TEST_F(MainWindowTest, LoadTxtDropAndBrowseReadTheChosenFiles)
{
    open();
    click("Command2");  // cancelled
    dialogs.answers = {platform::ChosenFile{"/gone/typed.txt", "typed.txt"}};
    click("Command2");  // a name typed for a file that is not there
    EXPECT_EQ(window->listingText(), "FR 17");
    EXPECT_EQ(session.listingName, "");
    files.files["/home/ann/prims.txt"] = "first\nsecond\rthird\r\nG\xe9n\xe9r\xe9\xa0!";
    dialogs.answers = {platform::ChosenFile{"/home/ann/prims.txt", "prims.txt"}};
    click("Command2");
    EXPECT_EQ(window->listingText(), "first\r\nsecond\r\nthird\r\nGénéré\u00a0!\r\n");
    EXPECT_EQ(session.listingName, "prims");

    // A dropped file loads the same way; only ".txt" and ".TXT" leave the name.
    files.files["/home/bob/tower.Txt.TXT"] = "a\rb";
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/bob/tower.Txt.TXT"))});
    QWidget* viewport = child<QPlainTextEdit>("Text1")->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    EXPECT_EQ(window->listingText(), "a\r\nb\r\n");
    EXPECT_EQ(session.listingName, "tower.Txt");

    click("Command5");  // cancelled
    dialogs.answers = {platform::ChosenFile{"/opt/opensim/bin/OpenSim.exe", "OpenSim.exe"}};
    click("Command5");
    expectShown({{"Text8", "/opt/opensim/bin/"}});
    const std::string txt = " | *.txt | Files txt(*.txt)|*.txt";
    const std::string exe = "/home/bob/ | OpenSim.exe | File (OpenSim.exe)|OpenSim.exe";
    EXPECT_EQ(dialogs.asked, (std::vector<std::string>{"/prog/" + txt, "/prog/" + txt, "/gone/" + txt, exe, exe}));
}

TEST_F(MainWindowTest, GenerateWritesBothFilesAndSaysSo)
{
    files.addFolder("/os");
    open();
    session.listingName = "prims";
    const std::string listing = exampleListing(3);
    generate(listing, "maison");
    EXPECT_EQ(files.files["/os/maison.xml_SLbase.txt"], listing + "\r\n");
    EXPECT_NE(files.files["/os/maison.xml"].find("<LocalID>720002</LocalID>"), std::string::npos);
    EXPECT_NE(files.files["/os/maison.xml"].find("<LocalID>720004</LocalID>"), std::string::npos);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"FR 22maison.xmlFR 23"});
    EXPECT_EQ(window->listingText(), "");

    // The next run proposes the last name and counts on.
    generate(exampleListing(1), "annexe");
    EXPECT_EQ(input.asked, (std::vector<std::string>{"FR 19 | FR 18 | prims", "FR 19 | FR 18 | maison.xml"}));
    EXPECT_EQ(window->localIdCounter(), "720005");
}

TEST_F(MainWindowTest, GenerateEndingEarlySaysWhyAndWritesNothing)
{
    files.addFolder("/os");
    open();
    std::string listing = exampleListing(3);
    listing.replace(listing.find("<128.00000, 131.00000"), 10, "<abc");
    generate(listing, "maison");
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_EQ(messages.shown[0].rfind("FR 24\r\n\r\nFR 25\r\n", 0), 0U) << messages.shown[0];
    EXPECT_NE(messages.shown[0].find("North wall: 2, <abc,"), std::string::npos) << messages.shown[0];
    EXPECT_EQ(window->listingText().find("North wall"), std::string::npos);
    EXPECT_NE(window->listingText().find("Window frame"), std::string::npos);

    // No name (as a cancelled question), a declined overwrite, a folder that is not there.
    const std::string counter = window->localIdCounter();
    generate(exampleListing(1), "");
    EXPECT_EQ(session.listingName, ".xml");
    files.files["/os/maison.xml"] = "earlier";
    generate(exampleListing(1), "maison");
    EXPECT_EQ(messages.asked, std::vector<std::string>{"FR 20\r\nFR 21"});
    generate(exampleListing(1), "maison", "/nowhere/");
    ASSERT_EQ(messages.shown.size(), 2U);
    EXPECT_NE(messages.shown[1].find("/nowhere"), std::string::npos) << messages.shown[1];
    EXPECT_EQ(window->listingText(), exampleListing(1));
    EXPECT_EQ(window->localIdCounter(), counter);
    EXPECT_EQ(files.files, (std::map<std::string, std::string>{{"/prog/EN.lng", languageFile("EN")},
                                                               {"/prog/FR.lng", languageFile("FR")},
                                                               {"/os/maison.xml", "earlier"}}));
}

TEST_F(MainWindowTest, RunLetsEventsThroughAndIgnoresASecondClick)
{
    int runs = 0;
    bool readOnlyDuringRun = false;
    open([&](const auto&, convert::ConversionHost& host, auto&, auto&) {
        ++runs;
        readOnlyDuringRun = child<QPlainTextEdit>("Text1")->isReadOnly();
        QTimer::singleShot(0, [&] {
            click("Command1");
            window->close();
        });
        for (std::size_t record = 1; record <= 3; ++record) {
            QThread::msleep(25);
            host.recordConverted({record, record, 3});
        }
        return convert::ConversionReport{};
    });
    window->show();
    click("Command1");
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(readOnlyDuringRun);
    EXPECT_FALSE(child<QPlainTextEdit>("Text1")->isReadOnly());
    // The close asked for during the run (so events went through) happens after it, with the settings saved.
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(settings.param("X"), "125");
}

TEST_F(MainWindowTest, AboutAndExtractorOpenOnceEach)
{
    open();
    click("Command7");
    click("Command7");
    click("Command4");
    std::map<QString, std::vector<QWidget*>> shownWindows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) shownWindows[widget->objectName()].push_back(widget);
    }
    EXPECT_EQ(shownWindows["Form2"].size(), 1U);
    ASSERT_EQ(shownWindows["Apropos"].size(), 1U);
    QPointer<QWidget> about = shownWindows["Apropos"][0];
    EXPECT_EQ(about->findChild<QWidget*>("Frame1")->property("title").toString().toStdString(), "Vantor V6.0.2");
    window.reset();
    EXPECT_TRUE(about.isNull());
}

TEST_F(StartupTest, SavedLanguageRunsTheWholeSequence)
{
    settings.values["param/Langue"] = "EN.lng";
    ASSERT_TRUE(begin());
    EXPECT_TRUE(input.asked.empty());
    EXPECT_TRUE(settings.writes.empty());
    EXPECT_EQ(session.languageName, "EN.lng");
    EXPECT_EQ(session.lastFolder, "/prog");
    EXPECT_FALSE(form()->isVisible());
    EXPECT_TRUE(startup->splash()->isVisible());
    pendingLookup("198.51.100.23");
    ASSERT_TRUE(runEvents(5s, [this] { return form()->isVisible() && !startup->splash()->isVisible(); }));
    expectShown({{"IP", "198.51.100.23"}, {"Text1", "EN 17"}});
    EXPECT_TRUE(child("Option1")->isEnabled());
}

TEST_F(StartupTest, NoAddressMeansOfflineAndTheMainWindowWaitsForTimer1)
{
    settings.values["param/Langue"] = "FR.lng";
    settings.values["param/Charger"] = "/home/ann/builds/";
    ASSERT_TRUE(begin({150ms, 0ms}));
    EXPECT_EQ(session.lastFolder, "/home/ann/builds/");
    pendingLookup(std::nullopt);
    EXPECT_FALSE(runEvents(50ms, [this] { return form()->isVisible(); }));
    ASSERT_TRUE(runEvents(5s, [this] { return form()->isVisible() && !startup->splash()->isVisible(); }));
    expectShown({{"IP", "Offline"}});
    EXPECT_FALSE(child("Option1")->isEnabled());
}

TEST_F(StartupTest, LanguageBoxAsksUntilItsAnswerNamesAFileAndCancelEnds)
{
    settings.values["param/Langue"] = "IT.lng";  // a stale name is forgotten
    input.answers = {"fr.lng", "IT", "", std::nullopt};
    EXPECT_FALSE(begin());
    EXPECT_EQ(form(), nullptr);
    const std::string box = "Vantor - Kestrane | Please type your language below.\r\n"
                            "Veuillez saisir votre langue ci-dessous.\r\n\r\n(EN, FR) | FR";
    EXPECT_EQ(input.asked, std::vector<std::string>(4, box));
    EXPECT_EQ(settings.writes, (Writes{{"Langue", ""}}));
    EXPECT_TRUE(messages.shown.empty());

    files.files.clear();
    EXPECT_FALSE(begin());
    EXPECT_EQ(input.asked.size(), 4U);
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_NE(messages.shown[0].find("(*.lng) was found in /prog."), std::string::npos) << messages.shown[0];
    EXPECT_EQ(lookups, 0);
}

TEST_F(StartupTest, UnreadableSavedLanguageIsSaidAndAskedAgain)
{
    settings.values["param/Langue"] = "FR.lng";
    files.unreadable.insert("/prog/FR.lng");
    input.answers = {"it", "en"};
    ASSERT_TRUE(begin());
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_NE(messages.shown[0].find("FR.lng"), std::string::npos);
    EXPECT_EQ(input.asked.size(), 2U);
    EXPECT_EQ(session.languageName, "EN.lng");
    EXPECT_EQ(settings.writes, (Writes{{"Langue", ""}, {"Langue", "EN.lng"}}));
    EXPECT_EQ(lookups, 1);
}

}  // namespace
}  // namespace vantor::app
