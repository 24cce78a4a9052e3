#include "app/main_window.h"

#include "app/shell_texts.h"
#include "app/splash_window.h"
#include "app/startup.h"
#include "platform/std_platform.h"
#include "testing/fake_platform.h"
#include "text/text_codec.h"
#include "window_services.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>

namespace vantor::app {
namespace {

namespace entry = language::entry;
using language::LanguageTable;
using language::builtInEnglish;

using namespace std::chrono_literals;
using test::runEvents;
using Texts = std::vector<std::pair<const char*, std::string>>;   // control, text shown
using Writes = std::vector<std::pair<std::string, std::string>>;  // setting, value

// The header and the first records of the bundled example listing.
std::string exampleListing(std::size_t records)
{
    const std::string text = text::toCrLfLines(text::decodeText(
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
class MainWindowTest : public ::testing::Test, public platform::PublicAddressLookup, protected test::FakeWindowServices {
protected:
    MainWindowTest()
    {
        test::ensureApplication();
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
        combo->setCurrentIndex(combo->findData(QString::fromLatin1(name)));
        emit combo->activated(combo->currentIndex());
    }
    void trigger(const char* action) const
    {
        auto* found = form()->findChild<QAction*>(QString::fromLatin1(action));
        ASSERT_NE(found, nullptr) << action;
        found->trigger();
    }
    void pressKey(const char* name, Qt::Key key) const
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(child(name), &press);
    }
    // The window's smallest size must leave it room on a 960 x 540 screen, with its title bar
    // and a panel.
    void expectFitsASmallScreen(const std::string& what) const
    {
        EXPECT_LE(form()->minimumSize().width(), 900) << what;
        EXPECT_LE(form()->minimumSize().height(), 460) << what;
    }
    // Runs "Générer XML" on the listing into the folder, answering the name question, and
    // waits for the run on the worker thread to end.
    void generate(const std::string& listing, const char* name, const char* folder = "/os/")
    {
        type({{"Text8", folder}, {"Text1", listing}});
        input.answers = {std::string(name)};
        click("Command1");
        waitForRun();
    }
    void waitForRun() const
    {
        ASSERT_TRUE(runEvents(10s, [this] { return !form()->isConverting(); })) << "the run did not end";
    }

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
    // A file of the original 38 lines: the texts after them are the built-in English ones.
    EXPECT_EQ(window->windowTitle().toStdString(), "SL - > OpenSim - Prim Converter");
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
    // Linking and the scene file are the first run's choices.
    EXPECT_FALSE(child<QCheckBox>("LinkObjects")->isChecked());
    EXPECT_EQ(child<QComboBox>("OutputFormat")->currentIndex(), 0);
    session.lastFolder = "/home/ann/builds/";
    const Texts typed = {
        {"Text8", "/opt/open sim/"}, {"Text5", "12,5"}, {"Text6", "abc"}, {"Text7", " 30 "}, {"Text3", "owner"}};
    type(typed);
    child<QCheckBox>("LinkObjects")->setChecked(true);
    child<QComboBox>("OutputFormat")->setCurrentIndex(1);
    window->show();
    window->close();
    EXPECT_EQ(settings.writes, (Writes{{"CheminOS", "/opt/open sim/"}, {"X", "12,5"}, {"Y", "abc"}, {"Z", " 30 "},
                                       {"UUID", "owner"}, {"Charger", "/home/ann/builds/"}, {"Langue", "FR.lng"},
                                       {"Lier", "1"}, {"Format", "oar"}}));
    open();
    expectShown(typed);
    EXPECT_TRUE(child<QCheckBox>("LinkObjects")->isChecked());
    EXPECT_EQ(child<QComboBox>("OutputFormat")->currentIndex(), 1);
}

TEST_F(MainWindowTest, LanguageChooserSelectsOnlyAnExactName)
{
    // Saved name, chooser's index, its text, then the language loaded and saved at shut-down.
    // Without an exact match the chooser shows the language in use (here FR.lng, loaded first).
    const std::vector<std::tuple<const char*, int, const char*, std::string>> cases = {
        {"FR.lng", 1, "FR 0", "FR.lng"}, {"EN.lng", 0, "EN 0", "EN.lng"}, {"fr.lng", 1, "FR 0", "FR.lng"},
        {"FR", 1, "FR 0", "FR.lng"}, {"None", 1, "FR 0", "FR.lng"}};
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
    expectShown({{"Command2", "FR 13"}, {"Combo1", "FR 0"}, {"Text1", "kept"}});
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

    // "Parcourir" offers OpenSim.exe (or OpenSim.dll) and the folder itself.
    window->show();
    click("Command5");
    EXPECT_TRUE(runEvents(2s, [&] { return window->findChild<QMenu*>("BrowseMenu")->isVisible(); }));
    window->findChild<QMenu*>("BrowseMenu")->hide();
    trigger("BrowseServer");  // cancelled
    dialogs.answers = {platform::ChosenFile{"/opt/opensim/bin/OpenSim.exe", "OpenSim.exe"}};
    trigger("BrowseServer");
    expectShown({{"Text8", "/opt/opensim/bin/"}});
    const std::string txt = " | *.txt | Files txt(*.txt)|*.txt";
    const std::string exe = "/home/bob/ | OpenSim.exe | " + openSimFilter(session.language);
    EXPECT_EQ(dialogs.asked, (std::vector<std::string>{"/prog/" + txt, "/prog/" + txt, "/gone/" + txt, exe, exe}));

    // A folder from the file dialog is taken when it holds OpenSim.exe or OpenSim.dll.
    files.files["/srv/opensim/bin/OpenSim.dll"] = "";
    files.addFolder("/srv/empty");
    dialogs.answers = {platform::ChosenFile{"/srv/empty", "empty"}};
    trigger("BrowseServer");
    expectShown({{"Text8", "/opt/opensim/bin/"}});
    dialogs.answers = {platform::ChosenFile{"/srv/opensim/bin", "bin"}};
    trigger("BrowseServer");
    expectShown({{"Text8", "/srv/opensim/bin/"}});
    // The folder choice takes the folder itself, opening on the one in use.
    dialogs.answers = {platform::ChosenFile{"/srv/empty", "empty"}};
    trigger("BrowseFolder");
    expectShown({{"Text8", "/srv/empty/"}});
    ASSERT_EQ(dialogs.folders.size(), 1U);
    EXPECT_EQ(dialogs.folders[0].folder, "/srv/opensim/bin/");
    EXPECT_EQ(dialogs.folders[0].title, "Choose the OpenSim folder");
    trigger("BrowseFolder");  // cancelled
    expectShown({{"Text8", "/srv/empty/"}});
}

TEST_F(MainWindowTest, GenerateWritesBothFilesAndSaysSo)
{
    files.addFolder("/os");
    session.publicAddress = kOffline;
    open();
    session.listingName = "prims";
    const std::string listing = exampleListing(3);
    generate(listing, "maison");
    EXPECT_EQ(files.files["/os/maison.xml_SLbase.txt"], listing + "\r\n");
    EXPECT_NE(files.files["/os/maison.xml"].find("<LocalID>720002</LocalID>"), std::string::npos);
    EXPECT_NE(files.files["/os/maison.xml"].find("<LocalID>720004</LocalID>"), std::string::npos);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"FR 22maison.xmlFR 23\r\nObjects written: 3\r\n\r\n"
                                                       "On the OpenSim console: load xml2 \"/os/maison.xml\""});
    EXPECT_EQ(window->listingText(), "");

    // The next run proposes the last name, without ".xml", and counts on.
    generate(exampleListing(1), "annexe");
    EXPECT_EQ(input.asked, (std::vector<std::string>{"FR 19 | FR 18 | prims", "FR 19 | FR 18 | maison"}));
    EXPECT_EQ(window->localIdCounter(), "720005");
    // Offline, "Internet" stays disabled after the runs.
    EXPECT_FALSE(child("Option1")->isEnabled());
    EXPECT_TRUE(child("Option0")->isEnabled());

    // Linked, as a region archive: NAME.oar beside its listing copy, and the command with --merge.
    child<QCheckBox>("LinkObjects")->setChecked(true);
    child<QComboBox>("OutputFormat")->setCurrentIndex(1);
    messages.shown.clear();
    // A scene file of that name is no archive of that name: nothing to ask about.
    files.files["/os/trio.xml"] = "earlier";
    generate(exampleListing(3), "trio");
    EXPECT_EQ(messages.asked, std::vector<std::string>{});
    EXPECT_EQ(files.files.at("/os/trio.oar").substr(0, 2), "\x1F\x8B");
    EXPECT_EQ(files.files.at("/os/trio.xml"), "earlier");
    EXPECT_EQ(files.files["/os/trio.oar_SLbase.txt"], exampleListing(3) + "\r\n");
    EXPECT_EQ(messages.shown, std::vector<std::string>{
                                  "FR 22trio.oarFR 23\r\nLinked objects written: 1 (3 prims)\r\n\r\n"
                                  "On the OpenSim console: load oar --merge \"/os/trio.oar\"\r\n"
                                  "Without --merge, OpenSim first deletes every object in the region."});
}

TEST_F(MainWindowTest, NameQuestionRefusesNamesThatLeaveTheFolderAndKeepsItsProposal)
{
    files.addFolder("/os");
    open();
    session.listingName = "maison.xml";
    type({{"Text8", "/os/"}, {"Text1", exampleListing(1)}});
    input.answers = {"../escape", "a/b", "a\\b", ".", "..", "ok"};
    click("Command1");
    waitForRun();
    const std::string refused = "A name cannot hold \"/\" or \"\\\", nor be \".\" or \"..\". Please type another name.";
    ASSERT_EQ(messages.shown.size(), 6U);
    EXPECT_EQ(std::vector<std::string>(messages.shown.begin(), messages.shown.begin() + 5),
              std::vector<std::string>(5, refused));
    // Each question proposes the refused answer, to be mended.
    EXPECT_EQ(input.asked, (std::vector<std::string>{"FR 19 | FR 18 | maison", "FR 19 | FR 18 | ../escape",
                                                     "FR 19 | FR 18 | a/b", "FR 19 | FR 18 | a\\b",
                                                     "FR 19 | FR 18 | .", "FR 19 | FR 18 | .."}));
    EXPECT_EQ(files.files.count("/os/ok.xml"), 1U);
    EXPECT_EQ(files.files.size(), 4U);  // the two language files, ok.xml and its listing copy

    // A cancelled question keeps the proposal.
    type({{"Text1", exampleListing(1)}});
    click("Command1");
    EXPECT_EQ(session.listingName, "ok.xml");
    click("Command1");
    EXPECT_EQ(input.asked.back(), "FR 19 | FR 18 | ok");
}

TEST_F(MainWindowTest, GenerateEndingEarlySaysWhyAndWritesNothing)
{
    files.addFolder("/os");
    open();
    // A record in the middle that does not convert, and a last record without its second
    // line: the message shows the record, and the box keeps exactly what it held.
    std::string listing = exampleListing(3);
    listing.replace(listing.find("<128.00000, 131.00000"), 10, "<abc");
    std::string cutShort = exampleListing(3);
    cutShort.resize(cutShort.rfind("\r\n", cutShort.size() - 3) + 2);
    for (const std::string& typed : {listing, cutShort, cutShort.substr(0, cutShort.size() - 2)}) {
        messages.shown.clear();
        generate(typed, "maison");
        ASSERT_EQ(messages.shown.size(), 1U);
        EXPECT_EQ(messages.shown[0].rfind("FR 24\r\n\r\nFR 25\r\n", 0), 0U) << messages.shown[0];
        EXPECT_NE(messages.shown[0].find(typed == listing ? "North wall: 2, <abc," : "Window frame:"),
                  std::string::npos)
            << messages.shown[0];
        EXPECT_EQ(child<QPlainTextEdit>("Text1")->toPlainText().toStdString(),
                  QString::fromStdString(typed).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).toStdString());
    }
    messages.shown.clear();

    // No name (as a cancelled question), a declined overwrite, a folder that is not there.
    const std::string counter = window->localIdCounter();
    generate(exampleListing(1), "");
    EXPECT_EQ(session.listingName, "maison.xml");
    files.files["/os/maison.xml"] = "earlier";
    generate(exampleListing(1), "maison");
    EXPECT_EQ(messages.asked, std::vector<std::string>{"FR 20\r\nFR 21"});
    generate(exampleListing(1), "maison", "/nowhere/");
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_NE(messages.shown[0].find("/nowhere"), std::string::npos) << messages.shown[0];
    EXPECT_EQ(window->listingText(), exampleListing(1));
    EXPECT_EQ(window->localIdCounter(), counter);
    EXPECT_EQ(files.files, (std::map<std::string, std::string>{{"/prog/EN.lng", languageFile("EN")},
                                                               {"/prog/FR.lng", languageFile("FR")},
                                                               {"/os/maison.xml", "earlier"}}));
}

TEST_F(MainWindowTest, RunsThatCannotStartOrWhoseNameIsTakenSaySoAndKeepEverything)
{
    files.addFolder("/os");
    open();
    const LanguageTable& english = builtInEnglish();  // the test's language files have no program texts
    // An empty box, blanks, the placeholder: said before any question.
    for (const char* typed : {"", " \r\n\t\r\n", "FR 17"}) {
        type({{"Text8", "/os/"}, {"Text1", typed}});
        click("Command1");
    }
    EXPECT_EQ(messages.shown, std::vector<std::string>(3, english.entry(entry::kListingHoldsNoPrims)));
    // A field that no run can take is named before any question.
    messages.shown.clear();
    type({{"Text1", exampleListing(1)}, {"Text3", "3f1c9a2e-7b40-4d5e-9c81"}});
    click("Command1");
    type({{"Text3", convert::kDefaultOwnerUuid}, {"Text7", "2 5"}});
    click("Command1");
    EXPECT_EQ(messages.shown, (std::vector<std::string>{
                                  fillIn(english.entry(entry::kOwnerNotAUuid), {"3f1c9a2e-7b40-4d5e-9c81"}),
                                  fillIn(english.entry(entry::kRezNotANumber), {"Z", "2 5"})}));
    EXPECT_TRUE(input.asked.empty());
    EXPECT_EQ(files.files.size(), 2U);  // the two language files

    // A scene file that another program writes during the run stays as it is, and the run
    // writes nothing: while the name was free when asked, and when it came between the
    // question and the run's start.
    type({{"Text7", "25"}});
    messages.shown.clear();
    files.appearMeanwhile["/os/maison.xml"] = "another program's";
    generate(exampleListing(2), "maison");
    const std::string taken = fillIn(english.entry(entry::kNameTakenMeanwhile), {"/os/maison.xml"});
    EXPECT_EQ(messages.shown, std::vector<std::string>{taken});
    EXPECT_EQ(window->listingText(), exampleListing(2));
    files.files.erase("/os/maison.xml");
    open([this](const convert::ConversionRequest& request, platform::FileSystem& disk, platform::RandomSource& draws) {
        files.files["/os/maison.xml"] = "another program's";
        return convert::runConversion(request, disk, draws);
    });
    generate(exampleListing(2), "maison");
    EXPECT_EQ(messages.shown, (std::vector<std::string>{taken, taken}));
    EXPECT_TRUE(messages.asked.empty());
    EXPECT_EQ(files.files.at("/os/maison.xml"), "another program's");
    EXPECT_EQ(files.files.count("/os/maison.xml_SLbase.txt"), 0U);
}

// A runner that holds the run on the worker thread until the test lets it go.
struct HeldRunner {
    std::atomic<int> runs{0};
    std::atomic<int> finished{0};
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    convert::ConversionRequest seen;

    // However the test ended, every run it started is released and let finish (its question
    // to the window answered) before the runner and the window go: a test that fails ends
    // with its assertions, not by hanging.
    ~HeldRunner()
    {
        release = true;
        runEvents(10s, [this] { return finished >= runs; });
    }

    ConversionRunner runner(std::string remaining)
    {
        return [this, remaining](const convert::ConversionRequest& request, platform::FileSystem&,
                                 platform::RandomSource&) {
            ++runs;
            seen = request;
            (void)request.progress({1, 250, 1000});
            started = true;
            while (!release) QThread::msleep(1);
            convert::ConversionReport report;
            report.primCount = 1;
            report.listingName = request.outputName + ".xml";
            report.localIdCounter = "720002";
            report.remainingListing = remaining;
            ++finished;
            return report;
        };
    }
};

TEST_F(MainWindowTest, RunOnAWorkerDisablesWhatCouldChangeItsInputAndNothingElse)
{
    HeldRunner held;
    session.publicAddress = "203.0.113.7";
    open(held.runner("rest\r\n"));
    window->show();
    files.files["/home/ann/other.txt"] = "another listing";
    type({{"Text8", "/os/"}, {"Text1", "the listing\r\n"}});
    input.answers = {"maison"};
    click("Command1");
    ASSERT_TRUE(runEvents(5s, [&] { return held.started.load(); }));
    EXPECT_EQ(held.seen.listingText, "the listing\r\n");

    const std::vector<const char*> inputs = {"Text5", "Text6", "Text7", "Text8", "Text3", "Command5", "Command2",
                                             "Command1", "Option0", "Option1", "Combo1", "LinkObjects", "OutputFormat"};
    for (const char* name : inputs) EXPECT_FALSE(child(name)->isEnabled()) << name;
    for (const char* name : {"Command4", "Command7", "CancelRun"}) EXPECT_TRUE(child(name)->isEnabled()) << name;
    EXPECT_TRUE(child<QPlainTextEdit>("Text1")->isReadOnly());
    EXPECT_TRUE(child("Progress")->isVisible());
    EXPECT_TRUE(child("CancelRun")->isVisible());
    EXPECT_GE(child("CancelRun")->width(), child("CancelRun")->sizeHint().width());
    // The bar shows the fraction of the listing read.
    EXPECT_TRUE(runEvents(5s, [&] { return child<QProgressBar>("Progress")->value() == 250; }));

    // Nothing reaches the listing box meanwhile: "Charger TXT" (even with its click forced),
    // a load, the placeholder click; a second "Générer XML" asks nothing and starts nothing.
    dialogs.answers = {platform::ChosenFile{"/home/ann/other.txt", "other.txt"}};
    emit child<QPushButton>("Command2")->clicked(false);
    window->loadListingFile("/home/ann/other.txt", "other.txt");
    clickListingBox();
    emit child<QPushButton>("Command1")->clicked(false);
    EXPECT_EQ(input.asked.size(), 1U);
    EXPECT_EQ(held.runs, 1);
    EXPECT_EQ(window->listingText(), "the listing\r\n");

    // Closing asks whether to stop the run and quit; No lets the run go on.
    window->close();
    EXPECT_EQ(messages.asked, std::vector<std::string>{builtInEnglish().entry(entry::kStopRunAndQuit)});
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(settings.param("X"), "<absent>");
    held.release = true;
    waitForRun();
    EXPECT_EQ(window->listingText(), "rest\r\n");
    EXPECT_EQ(window->localIdCounter(), "720002");
    EXPECT_EQ(messages.shown, std::vector<std::string>{"FR 22maison.xmlFR 23\r\nObjects written: 1\r\n\r\n"
                                                       "On the OpenSim console: load xml2 \"\""});
    for (const char* name : inputs) EXPECT_TRUE(child(name)->isEnabled()) << name;
    EXPECT_FALSE(child<QPlainTextEdit>("Text1")->isReadOnly());
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(child("Progress")->isVisible());
    // Without a run, closing asks nothing and saves.
    window->close();
    EXPECT_EQ(messages.asked.size(), 1U);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(settings.param("X"), "125");
}

// The real engine and file system: Cancel, or closing the window and answering Yes, while
// the first record is being reported leaves no file in the folder, and the listing and
// counter as they were.
TEST_F(MainWindowTest, CancelOrQuittingStopsTheRunAndLeavesNoFile)
{
    for (const bool quitting : {false, true}) {
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        platform::StdFileSystem onDiskFiles;
        const AppServices onDisk{onDiskFiles, random, dialogs, messages, input, settings, clock};
        std::atomic<bool> reported{false};
        std::atomic<bool> release{false};
        messages.shown.clear();
        window = std::make_unique<MainWindow>(
            session, onDisk,
            [&](const convert::ConversionRequest& request, platform::FileSystem& disk, platform::RandomSource& draws) {
                // The first record's report waits until the test stopped the run.
                convert::ConversionRequest gated = request;
                gated.progress = [&, window = request.progress](const convert::ConversionProgress& progress) {
                    reported = true;
                    while (!release) QThread::msleep(1);
                    return window(progress);
                };
                return convert::runConversion(gated, disk, draws);
            },
            2);
        window->show();
        const std::string listing = exampleListing(3);
        type({{"Text8", folder.path().toStdString() + "/"}, {"Text1", listing}});
        input.answers = {"maison"};
        click("Command1");
        ASSERT_TRUE(runEvents(5s, [&] { return reported.load(); }));
        if (quitting) {
            messages.answers = {true};
            window->close();
            EXPECT_EQ(messages.asked, std::vector<std::string>{builtInEnglish().entry(entry::kStopRunAndQuit)});
        } else {
            click("CancelRun");
        }
        EXPECT_FALSE(child("CancelRun")->isEnabled());
        release = true;
        waitForRun();
        EXPECT_TRUE(std::filesystem::is_empty(folder.path().toStdString())) << quitting;
        EXPECT_EQ(window->listingText(), listing);
        EXPECT_EQ(window->localIdCounter(), "720001");
        if (quitting) {
            // The window goes without a further word, and saves its settings.
            EXPECT_TRUE(messages.shown.empty());
            EXPECT_FALSE(window->isVisible());
            EXPECT_EQ(settings.param("UUID"), "3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13");
        } else {
            EXPECT_EQ(messages.shown, std::vector<std::string>{"The conversion was cancelled. Nothing was written."});
            EXPECT_TRUE(child("Command1")->isEnabled());
        }
    }
}

TEST_F(MainWindowTest, EngineExceptionEndsTheRunAndTheWindowStaysUsable)
{
    files.addFolder("/os");
    int runs = 0;
    open([&](const convert::ConversionRequest& request, platform::FileSystem& disk, platform::RandomSource& draws) {
        if (++runs == 1) throw std::runtime_error("out of memory");
        return convert::runConversion(request, disk, draws);
    });
    generate(exampleListing(1), "maison");
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_EQ(messages.shown[0],
              "The conversion stopped on an unexpected error (out of memory). Nothing was written.");
    EXPECT_EQ(window->listingText(), exampleListing(1));
    EXPECT_TRUE(child("Command1")->isEnabled());
    generate(exampleListing(1), "maison");
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(files.files.count("/os/maison.xml"), 1U);
}

TEST_F(MainWindowTest, TabFollowsTheWindowAndLeavesTheListingBox)
{
    session.publicAddress = "203.0.113.7";
    open();
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(runEvents(2s, [&] { return window->isActiveWindow(); }));
    child("Text5")->setFocus();
    const auto pressTab = [] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QCoreApplication::sendEvent(QApplication::focusWidget(), &press);
    };
    std::vector<std::string> order;
    for (int i = 0; i < 17; ++i) {
        order.push_back(QApplication::focusWidget()->objectName().toStdString());
        pressTab();
    }
    // Left block, middle block, right block, then the listing, and round again. The two
    // option buttons are one stop, as a group; the arrow keys move between them.
    EXPECT_EQ(order, (std::vector<std::string>{"Text5", "Text6", "Text7", "Text8", "Command5", "Text3", "Command2",
                                               "Command1", "LinkObjects", "OutputFormat", "Command4", "Option0",
                                               "Command7", "Combo1", "Text1", "Text5", "Text6"}));
    EXPECT_EQ(window->listingText(), "FR 17");
    child("Option0")->setFocus();
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(child("Option0"), &down);
    EXPECT_EQ(QApplication::focusWidget(), child("Option1"));

    // A focused button is pressed with the space bar, and with Enter or Return.
    child("Command7")->setFocus();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    QCoreApplication::sendEvent(child("Command7"), &press);
    QCoreApplication::sendEvent(child("Command7"), &release);
    QPointer<QWidget> about = window->findChild<QWidget*>(QStringLiteral("Apropos"));
    ASSERT_FALSE(about.isNull());
    about->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(about.isNull());
    pressKey("Command7", Qt::Key_Return);
    EXPECT_NE(window->findChild<QWidget*>(QStringLiteral("Apropos")), nullptr);
    pressKey("Command5", Qt::Key_Enter);
    EXPECT_TRUE(runEvents(2s, [&] { return window->findChild<QMenu*>("BrowseMenu")->isVisible(); }));
    window->findChild<QMenu*>("BrowseMenu")->hide();
    files.files["/prog/Regions/a.ini"] = "ExternalHostName = SYSTEMIP\r\n";
    pressKey("Option1", Qt::Key_Return);
    EXPECT_EQ(files.files["/prog/Regions/a.ini"], "ExternalHostName = 203.0.113.7\r\n");
    EXPECT_EQ(messages.shown.size(), 1U);
    // In the listing box Enter is a line break.
    child("Text1")->setFocus();
    type({{"Text1", ""}});
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(child("Text1"), &enter);
    EXPECT_EQ(window->listingText(), "\r\n");
}

TEST_F(MainWindowTest, ResizeGivesTheExtraRoomToTheListingBox)
{
    open();
    window->show();
    const QSize design = window->size();
    std::map<std::string, QRect> before;
    const auto controls = window->findChildren<QWidget*>(QRegularExpression(QStringLiteral("^(Text|Command|Label|Option|Combo|IP)")));
    for (QWidget* control : controls) before[control->objectName().toStdString()] = control->geometry();
    window->resize(design + QSize(300, 200));
    QCoreApplication::processEvents();
    ASSERT_EQ(window->size(), design + QSize(300, 200));
    for (QWidget* control : controls) {
        const std::string name = control->objectName().toStdString();
        const QRect was = before[name];
        const QRect now = control->geometry();
        if (name == "Text1") {
            EXPECT_EQ(now.size(), was.size() + QSize(300, 200));
            continue;
        }
        // Above the listing nothing grows taller or moves down; columns keep their order.
        EXPECT_EQ(now.top(), was.top()) << name;
        EXPECT_EQ(now.height(), was.height()) << name;
        EXPECT_GE(now.left(), was.left()) << name;
    }
    EXPECT_EQ(child("Command7")->geometry().right(), before["Command7"].right() + 300);
    // Made small, it keeps what the controls need and fits a small screen.
    window->resize(100, 100);
    EXPECT_EQ(window->size(), window->minimumSize());
    expectFitsASmallScreen("shrunk");
    EXPECT_GE(child("Text1")->height(), 40);
}

// The width a button's style leaves for its caption.
int captionRoom(const QAbstractButton& button)
{
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    option.icon = button.icon();
    const bool radio = qobject_cast<const QRadioButton*>(&button) != nullptr;
    const bool check = qobject_cast<const QCheckBox*>(&button) != nullptr;
    const QRect room = button.style()->subElementRect(
        radio ? QStyle::SE_RadioButtonContents : check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents,
        &option, &button);
    return room.width();
}

// Every caption fits its control in each shipped language: a button or an option button
// at least as wide as its text needs (QFontMetrics inside the style's margins), a label at
// least as wide as its text, each language's name in the chooser; and the window still fits
// a small screen. Also run at 200 % (QT_SCALE_FACTOR=2).
TEST_F(MainWindowTest, NoCaptionIsClippedInAnyLanguage)
{
    session.publicAddress = "255.255.255.255";
    open();
    window->show();
    // Switched while the window is shown, as the language chooser does.
    for (const char* code : {"EN", "FR", "DE", "ES"}) {
        const std::string name = std::string(code) + ".lng";
        files.files["/prog/" + name] =
            platform::StdFileSystem().readAll(std::string(VANTOR_SOURCE_DIR "/lang/") + name, nullptr).value_or("");
        ASSERT_TRUE(window->loadLanguage(name));
        QCoreApplication::processEvents();
        for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
            if (!button->isVisible()) continue;
            const QString caption = QString(button->text()).remove(QLatin1Char('&'));
            EXPECT_LE(button->fontMetrics().horizontalAdvance(caption), captionRoom(*button))
                << code << " " << caption.toStdString();
        }
        for (const QLabel* label : window->findChildren<QLabel*>()) {
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width())
                << code << " " << label->text().toStdString();
        }
        for (const char* chooser : {"Combo1", "OutputFormat"}) {
            auto* combo = child<QComboBox>(chooser);
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect field =
                combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
            for (int i = 0; i < combo->count(); ++i) {
                EXPECT_LE(combo->fontMetrics().horizontalAdvance(combo->itemText(i)), field.width())
                    << code << " " << combo->itemText(i).toStdString();
            }
        }
        expectFitsASmallScreen(code);
        EXPECT_GE(window->width(), window->minimumWidth());
    }
}

// The shipped files give every text the window shows, titles and the chooser included.
TEST_F(MainWindowTest, EveryVisibleTextComesFromTheLanguageFile)
{
    files.files["/prog/EN.lng"] = languageFile("EN", 140);
    files.files["/prog/FR.lng"] = languageFile("FR", 140);
    session.publicAddress = kOffline;
    open();
    EXPECT_EQ(window->windowTitle().toStdString(), "FR 115");
    expectShown({{"Label7", "FR 116"}, {"IP", "FR 117"}, {"Option0", "FR 118"}, {"Option1", "FR 119"},
                 {"Combo1", "FR 0"}});
    EXPECT_EQ(window->findChild<QAction*>("BrowseServer")->text().toStdString(), "FR 131");
    EXPECT_EQ(window->findChild<QAction*>("BrowseFolder")->text().toStdString(), "FR 132");
    // The chooser lists languages by name and takes no typing.
    auto* combo = child<QComboBox>("Combo1");
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(combo->itemText(0).toStdString(), "EN 0");
    chooseLanguage("EN.lng");
    EXPECT_EQ(window->windowTitle().toStdString(), "EN 115");
    expectShown({{"IP", "EN 117"}, {"Option0", "EN 118"}, {"Combo1", "EN 0"}});
    click("Command2");
    trigger("BrowseServer");
    ASSERT_EQ(dialogs.opened.size(), 2U);
    EXPECT_EQ(dialogs.opened[0].filter, "EN 125(*.txt)|*.txt");
    EXPECT_EQ(dialogs.opened[1].filter.substr(0, 20), "EN 126 (OpenSim.exe)");
    click("Command7");
    auto* about = window->findChild<QWidget*>(QStringLiteral("Apropos"));
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle().toStdString(), "EN 123");
    EXPECT_EQ(about->findChild<QPushButton*>("CloseButton")->text().toStdString(), "EN 124");

    // A file without a name on its first line is shown by its file name; two alike by both.
    files.files["/prog/DE.lng"] = "";
    files.files["/prog/XX.lng"] = "EN 0\r\n";
    window->fillFromSettings();
    std::vector<std::string> shown;
    for (int i = 0; i < combo->count(); ++i) shown.push_back(combo->itemText(i).toStdString());
    EXPECT_EQ(shown, (std::vector<std::string>{"DE", "EN 0 (EN.lng)", "FR 0", "EN 0 (XX.lng)"}));
}

TEST_F(MainWindowTest, QtsOwnButtonsFollowTheLanguage)
{
    open();
    const auto yesText = [] {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        return box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')).toStdString() + "/" +
               box.button(QMessageBox::No)->text().remove(QLatin1Char('&')).toStdString() + "/" +
               box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')).toStdString();
    };
    EXPECT_EQ(yesText(), "Oui/Non/Annuler");
    ASSERT_TRUE(window->loadLanguage("EN.lng"));
    EXPECT_EQ(yesText(), "Yes/No/Cancel");
    window.reset();
}

// The extractor window works on the main window's session: once closed it goes, so that the
// next click opens a new one, and one still open goes with the main window.
TEST_F(MainWindowTest, TheExtractorGoesWhenClosedAndWithTheMainWindow)
{
    const auto shownExtractor = [] {
        QPointer<QWidget> found;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->objectName() == QStringLiteral("Form2")) found = widget;
        }
        return found;
    };
    open();
    window->show();
    click("Command4");
    QPointer<QWidget> first = shownExtractor();
    ASSERT_FALSE(first.isNull());
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    click("Command4");
    QPointer<QWidget> second = shownExtractor();
    ASSERT_FALSE(second.isNull());
    window.reset();
    EXPECT_TRUE(second.isNull());
}

TEST_F(MainWindowTest, AboutAndExtractorOpenOnceEach)
{
    open();
    window->show();
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
    EXPECT_EQ(about->windowTitle().toStdString(), "About");
    // Over the main window's centre, as its child.
    EXPECT_EQ(about->parentWidget(), window.get());
    const QPoint offCentre = about->frameGeometry().center() - window->frameGeometry().center();
    // Within a few pixels: the frame of a window not yet shown is not known when it is placed.
    EXPECT_LE(std::abs(offCentre.x()), 3);
    EXPECT_LE(std::abs(offCentre.y()), 3);
    window.reset();
    EXPECT_TRUE(about.isNull());

    // Closing the main window leaves an open About window.
    open();
    window->show();
    click("Command7");
    about = window->findChild<QWidget*>(QStringLiteral("Apropos"));
    ASSERT_FALSE(about.isNull());
    window->close();
    window.reset();
    ASSERT_FALSE(about.isNull());
    EXPECT_TRUE(about->isVisible());
    about->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(about.isNull());

    // Escape closes it, from its button too; so does the button, by click or Enter.
    open();
    window->show();
    const auto closesWith = [this](const std::function<void(QWidget&)>& act) {
        click("Command7");
        QPointer<QWidget> shown = window->findChild<QWidget*>(QStringLiteral("Apropos"));
        if (shown.isNull()) return false;
        act(*shown);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return shown.isNull();
    };
    const auto key = [](QWidget& target, Qt::Key code) {
        QKeyEvent event(QEvent::KeyPress, code, Qt::NoModifier);
        QCoreApplication::sendEvent(&target, &event);
    };
    EXPECT_TRUE(closesWith([&](QWidget& shown) { key(shown, Qt::Key_Escape); }));
    const auto closeButton = [](QWidget& shown) { return shown.findChild<QPushButton*>("CloseButton"); };
    EXPECT_TRUE(closesWith([&](QWidget& shown) { key(*closeButton(shown), Qt::Key_Escape); }));
    EXPECT_TRUE(closesWith([&](QWidget& shown) { closeButton(shown)->click(); }));
    EXPECT_TRUE(closesWith([&](QWidget& shown) { key(*closeButton(shown), Qt::Key_Return); }));
    EXPECT_FALSE(closesWith([&](QWidget& shown) { key(shown, Qt::Key_A); }));
    // The main window itself does not close on Escape.
    key(*window, Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
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

TEST_F(StartupTest, WithoutAnAddressTheMainWindowShowsOfflineOnceTimer1Ran)
{
    settings.values["param/Langue"] = "FR.lng";
    settings.values["param/Charger"] = "/home/ann/builds/";
    ASSERT_TRUE(begin({150ms, 0ms}));
    EXPECT_EQ(session.lastFolder, "/home/ann/builds/");
    QElapsedTimer sinceLookup;
    sinceLookup.start();
    pendingLookup(std::nullopt);
    ASSERT_TRUE(runEvents(5s, [this] { return form()->isVisible() && !startup->splash()->isVisible(); }));
    // However quickly the events ran, the window waited for Timer1 after the lookup ended
    // (less the 5 % early that Qt allows a coarse timer).
    EXPECT_GE(sinceLookup.elapsed(), 150 * 95 / 100);
    expectShown({{"IP", "Offline"}});
    EXPECT_FALSE(child("Option1")->isEnabled());
}

TEST_F(StartupTest, LanguageBoxAsksUntilItsAnswerNamesAFileAndCancelEnds)
{
    settings.values["param/Langue"] = "IT.lng";  // a stale name is forgotten
    input.answers = {"fr.lng", "IT", "", std::nullopt};
    EXPECT_FALSE(begin());
    EXPECT_EQ(form(), nullptr);
    // Files of 38 lines have no text of their own for the box: English stands in.
    const std::string box = "Vantor - Language | Please type your language below.\r\n\r\n(EN, FR) | FR";
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

// The box is asked before any language is chosen: it speaks each language at hand, once.
TEST_F(StartupTest, LanguageBoxSpeaksEveryLanguageAtHand)
{
    files.files["/prog/EN.lng"] = languageFile("EN", 140);
    files.files["/prog/DE.lng"] = languageFile("DE", 140);
    files.files["/prog/XX.lng"] = languageFile("DE", 140);
    input.answers = {"en"};
    ASSERT_TRUE(begin());
    EXPECT_EQ(input.asked, std::vector<std::string>{"Vantor - DE 129 / EN 129 / Language | DE 130\r\nEN 130\r\n"
                                                    "Please type your language below.\r\n\r\n(DE, EN, FR, XX) | FR"});
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
