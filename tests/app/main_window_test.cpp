#include "app/main_window.h"

#include "app/shell_texts.h"
#include "app/splash_window.h"
#include "app/startup.h"
#include "platform/std_platform.h"
#include "regions/region_hosts.h"
#include "testing/fake_platform.h"
#include "text/text_codec.h"
#include "window_services.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QThread>

#include <atomic>
#include <functional>
#include <map>
#include <stdexcept>

namespace vantor::app {
namespace {

namespace entry = language::entry;
using language::builtInEnglish;

using namespace std::chrono_literals;
using test::runEvents;
using test::sendKey;
using Texts = std::vector<std::pair<const char*, std::string>>;   // control, text shown
using Writes = std::vector<std::pair<std::string, std::string>>;  // setting, value
using Strings = std::vector<std::string>;

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

std::string regionWith(const std::string& host)
{
    return "<Root>\r\n<Config external_host_name=\"" + host + "\" master_avatar_uuid=\"0\" />\r\n</Root>\r\n";
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
    // However the test ended, a held run is let go and ends before the window goes.
    ~MainWindowTest() override
    {
        released = true;
        if (form()) runEvents(10s, [this] { return !form()->isConverting(); });
        QGuiApplication::setQuitOnLastWindowClosed(false);
    }

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
    T* child(const char* name) const { return test::childOf<T>(*form(), name); }
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
        for (const auto& [name, text] : texts) child(name)->setProperty(textOf(child(name)), QString::fromStdString(text));
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
    void trigger(const char* action) const { test::childOf<QAction>(*form(), action)->trigger(); }
    QMenu* browseMenu() const { return form()->findChild<QMenu*>("BrowseMenu"); }
    QWidget* about() const { return form()->findChild<QWidget*>(QStringLiteral("Apropos")); }
    // Runs "Générer XML" on the listing into the folder, answering the name question, and
    // waits for the run on the worker thread to end.
    void generate(const std::string& listing, const char* name, const char* folder = "/os/", bool wait = true)
    {
        type({{"Text8", folder}, {"Text1", listing}});
        input.answers = {std::string(name)};
        click("Command1");
        if (wait) waitForRun();
    }
    // The engine, with its first progress report held until the test releases it; its report
    // may say that a rest of the listing was left.
    ConversionRunner heldRunner(std::string rest = "")
    {
        return [this, rest](const convert::ConversionRequest& request, platform::FileSystem& disk,
                            platform::RandomSource& draws) {
            convert::ConversionRequest gated = request;
            gated.progress = [this, report = request.progress](const convert::ConversionProgress& progress) {
                (void)report(progress);
                held = true;
                while (!released) QThread::msleep(1);
                return report(progress);
            };
            convert::ConversionReport report = convert::runConversion(gated, disk, draws);
            if (report && !rest.empty()) report.remainingListing = rest;
            return report;
        };
    }
    void waitForRun() const
    {
        ASSERT_TRUE(runEvents(10s, [this] { return !form()->isConverting(); })) << "the run did not end";
    }

    std::atomic<bool> held{false};
    std::atomic<bool> released{false};
    Session session;
    Callback pendingLookup;
    int lookups = 0;
    std::unique_ptr<Startup> startup;
    std::unique_ptr<MainWindow> window;
};

class StartupTest : public MainWindowTest {};

// The language file gives every text the window shows: titles, captions, the dialogs' filters
// and the About window's.
TEST_F(MainWindowTest, EveryVisibleTextComesFromTheLanguageFile)
{
    files.files["/prog/EN.lng"] = languageFile("EN", 150);
    files.files["/prog/FR.lng"] = languageFile("FR", 150);
    session.publicAddress = kOffline;
    open();
    EXPECT_EQ(window->windowTitle().toStdString(), "FR 115");
    expectShown({{"Label5", "FR 10"}, {"Command1", "FR 14"}, {"Command7", "FR 16"}, {"Text1", "FR 17"},
                 {"Label7", "FR 116"}, {"IP", "FR 117"}, {"Option0", "FR 118"}, {"Option1", "FR 119"},
                 {"Combo1", "FR 0"}, {"LinkObjects", "FR 140"}, {"OutputFormat", "FR 142"}});
    EXPECT_EQ(child<QComboBox>("OutputFormat")->itemText(1).toStdString(), "FR 143");
    EXPECT_EQ(window->findChild<QAction*>("BrowseServer")->text().toStdString(), "FR 131");
    EXPECT_EQ(window->findChild<QAction*>("BrowseFolder")->text().toStdString(), "FR 132");
    // The chooser lists languages by name and takes no typing.
    auto* combo = child<QComboBox>("Combo1");
    EXPECT_FALSE(combo->isEditable());
    EXPECT_EQ(combo->itemText(0).toStdString(), "EN 0");
    // Qt's own buttons speak the language too.
    const auto yes = [] {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes);
        return box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')).toStdString();
    };
    EXPECT_EQ(yes(), "Oui");
    chooseLanguage("EN.lng");
    EXPECT_EQ(yes(), "Yes");
    EXPECT_EQ(window->windowTitle().toStdString(), "EN 115");
    expectShown({{"Combo1", "EN 0"}, {"Command1", "EN 14"}});
    click("Command2");
    trigger("BrowseServer");
    ASSERT_EQ(dialogs.opened.size(), 2U);
    EXPECT_EQ(dialogs.opened[0].filter, "EN 125(*.txt)|*.txt");
    EXPECT_EQ(dialogs.opened[1].filter.substr(0, 20), "EN 126 (OpenSim.exe)");
    click("Command7");
    ASSERT_NE(about(), nullptr);
    EXPECT_EQ(about()->windowTitle().toStdString(), "EN 123");
    EXPECT_EQ(about()->findChild<QPushButton*>("CloseButton")->text().toStdString(), "EN 124");

    // A file without a name on its first line is shown by its file name; two alike by both.
    files.files["/prog/DE.lng"] = "";
    files.files["/prog/XX.lng"] = "EN 0\r\n";
    window->fillFromSettings();
    Strings shown;
    for (int i = 0; i < combo->count(); ++i) shown.push_back(combo->itemText(i).toStdString());
    EXPECT_EQ(shown, (Strings{"DE", "EN 0 (EN.lng)", "FR 0", "EN 0 (XX.lng)"}));
}

TEST_F(MainWindowTest, SettingsComeBackAfterShutDown)
{
    settings.values["param/Langue"] = "FR.lng";
    open();
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

TEST_F(MainWindowTest, AnUnreadableLanguageFileKeepsTheLanguageInUse)
{
    open();
    files.unreadable.insert("/prog/EN.lng");
    type({{"Text1", "kept"}});
    chooseLanguage("EN.lng");
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_NE(messages.shown[0].find("EN.lng cannot be read (Permission denied)"), std::string::npos);
    expectShown({{"Command2", "FR 13"}, {"Combo1", "FR 0"}, {"Text1", "kept"}});
    window->saveSettings();
    EXPECT_EQ(settings.param("Langue"), "FR.lng");
}

// A click empties the box only while it shows the placeholder, which is then the default name.
TEST_F(MainWindowTest, ClickingThePlaceholderEmptiesTheBox)
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
}

// "Charger TXT" and a dropped file decode the text and take line ends as they come; only
// ".txt" in any case leaves the name.
TEST_F(MainWindowTest, ListingFilesLoadFromTheDialogOrADrop)
{
    open();
    click("Command2");  // cancelled
    dialogs.answers = {platform::ChosenFile{"/gone/typed.txt", "typed.txt"}};
    click("Command2");  // a name typed for a file that is not there
    EXPECT_EQ(window->listingText(), "FR 17");
    files.files["/home/ann/prims.txt"] = "first\nsecond\rthird\r\nG\xe9n\xe9r\xe9\xa0!";
    dialogs.answers = {platform::ChosenFile{"/home/ann/prims.txt", "prims.txt"}};
    click("Command2");
    EXPECT_EQ(window->listingText(), "first\r\nsecond\r\nthird\r\nGénéré\u00a0!\r\n");
    EXPECT_EQ(session.listingName, "prims");
    const std::string txt = " | *.txt | Files txt(*.txt)|*.txt";
    EXPECT_EQ(dialogs.asked, (Strings{"/prog/" + txt, "/prog/" + txt, "/gone/" + txt}));

    files.files["/home/bob/tower.Txt.TXT"] = "a\rb";
    EXPECT_TRUE(test::dropFile(child<QPlainTextEdit>("Text1")->viewport(), "/home/bob/tower.Txt.TXT"));
    EXPECT_EQ(window->listingText(), "a\r\nb\r\n");
    EXPECT_EQ(session.listingName, "tower.Txt");
}

// "Parcourir" offers OpenSim.exe (or OpenSim.dll), or a folder that holds one, and the folder itself.
TEST_F(MainWindowTest, ParcourirTakesTheServerFileOrAFolder)
{
    open();
    window->show();
    click("Command5");
    EXPECT_TRUE(runEvents(2s, [&] { return browseMenu()->isVisible(); }));
    browseMenu()->hide();
    files.files["/srv/opensim/bin/OpenSim.dll"] = "";
    files.addFolder("/srv/empty");
    struct Row {
        const char* action;
        std::optional<std::string> chosen;  // none: cancelled
        const char* shown;
    };
    for (const Row& row : {Row{"BrowseServer", "/opt/opensim/bin/OpenSim.exe", "/opt/opensim/bin/"},
                           Row{"BrowseServer", "/srv/empty", "/opt/opensim/bin/"},
                           Row{"BrowseServer", "/srv/opensim/bin", "/srv/opensim/bin/"},
                           Row{"BrowseFolder", "/srv/empty", "/srv/empty/"},
                           Row{"BrowseFolder", std::nullopt, "/srv/empty/"}}) {
        SCOPED_TRACE(row.chosen.value_or("cancelled"));
        if (row.chosen) dialogs.answers = {platform::ChosenFile{*row.chosen, row.chosen->substr(row.chosen->rfind('/') + 1)}};
        trigger(row.action);
        expectShown({{"Text8", row.shown}});
    }
    EXPECT_EQ(dialogs.asked[0], "/prog | OpenSim.exe | " + openSimFilter(session.language));
    // The folder choice opens on the folder in use.
    ASSERT_EQ(dialogs.folders.size(), 2U);
    EXPECT_EQ(dialogs.folders[0].folder, "/srv/opensim/bin/");
}

// A name that would leave the folder is refused, and asked again proposing the refused answer to
// be mended. Each output is written beside its listing copy; the end message gives the console
// command.
TEST_F(MainWindowTest, GenerateGivesTheConsoleCommandForWhatItWrote)
{
    files.addFolder("/os");
    session.publicAddress = kOffline;
    open();
    session.listingName = "prims";
    const std::string listing = exampleListing(3);
    type({{"Text8", "/os/"}, {"Text1", listing}});
    input.answers = {"../escape", "a\\b", "..", "maison"};
    click("Command1");
    waitForRun();
    const std::string refused = "A name cannot hold \"/\" or \"\\\", nor be \".\" or \"..\". Please type another name.";
    EXPECT_EQ(messages.shown, (Strings{refused, refused, refused,
                                       "FR 22maison.xmlFR 23\r\nObjects written: 3\r\n\r\n"
                                       "On the OpenSim console: load xml2 \"/os/maison.xml\""}));
    EXPECT_EQ(input.asked, (Strings{"FR 19 | FR 18 | prims", "FR 19 | FR 18 | ../escape", "FR 19 | FR 18 | a\\b",
                                    "FR 19 | FR 18 | .."}));
    EXPECT_EQ(files.files.count("/os/maison.xml_SLbase.txt"), 1U);
    EXPECT_EQ(window->listingText(), "");

    // Linked, as a region archive: the next run proposes the last name and counts on. A scene
    // file of that name is no archive of that name: nothing to ask about.
    child<QCheckBox>("LinkObjects")->setChecked(true);
    child<QComboBox>("OutputFormat")->setCurrentIndex(1);
    files.files["/os/trio.xml"] = "earlier";
    generate(listing, "trio");
    EXPECT_EQ(input.asked.back(), "FR 19 | FR 18 | maison");
    EXPECT_EQ(window->localIdCounter(), "720007");
    EXPECT_EQ(messages.asked, Strings{});
    EXPECT_EQ(files.files.count("/os/trio.oar_SLbase.txt"), 1U);
    // Offline, "Internet" stays disabled after the runs.
    EXPECT_FALSE(child("Option1")->isEnabled());
    // A cancelled question keeps the proposal.
    type({{"Text1", listing}});
    click("Command1");
    click("Command1");
    EXPECT_EQ(input.asked.back(), "FR 19 | FR 18 | trio");
}

// After any run that writes nothing the box holds exactly what it held, the counter and the
// folder are as they were, and one message says why (checks of the fields before any question).
TEST_F(MainWindowTest, ARunThatWritesNothingKeepsTheListingBox)
{
    files.addFolder("/os");
    std::function<void()> duringRun;
    open([&](const convert::ConversionRequest& request, platform::FileSystem& disk, platform::RandomSource& draws) {
        if (duringRun) duringRun();
        return convert::runConversion(request, disk, draws);
    });
    const std::string one = exampleListing(1);
    std::string badMiddle = exampleListing(3);
    badMiddle.replace(badMiddle.find("<128.00000, 131.00000"), 10, "<abc");
    struct Row {
        const char* name;
        std::string listing;
        std::string said;  // within the one message shown; empty: nothing is shown
        bool asksName = true;
        std::function<void()> before = {};
        Strings questions = {};
    };
    const std::vector<Row> rows = {
        {"a record in the middle that does not convert", badMiddle, "North wall: 2, <abc,"},
        // The test's language files have no program texts: the built-in English ones stand in.
        {"the placeholder", "FR 17", builtInEnglish().entry(entry::kListingHoldsNoPrims), false},
        {"a declined overwrite", one, "", true, [this] { files.files["/os/maison.xml"] = "earlier"; },
         {"FR 20\r\nFR 21"}},
        {"an error the engine throws", one,
         "The conversion stopped on an unexpected error (out of memory). Nothing was written.", true,
         [&] { duringRun = [] { throw std::runtime_error("out of memory"); }; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        files.files.erase("/os/maison.xml");
        messages.shown.clear();
        messages.asked.clear();
        input.asked.clear();
        duringRun = {};
        type({{"Text8", "/os/"}, {"Text1", row.listing}});
        if (row.before) row.before();
        const std::map<std::string, std::string> expected = files.files;
        const std::string counter = window->localIdCounter();
        input.answers = {"maison"};
        click("Command1");
        waitForRun();
        EXPECT_EQ(input.asked.size(), row.asksName ? 1U : 0U);
        EXPECT_EQ(messages.asked, row.questions);
        ASSERT_EQ(messages.shown.size(), row.said.empty() ? 0U : 1U);
        for (const std::string& shown : messages.shown) EXPECT_NE(shown.find(row.said), std::string::npos) << shown;
        EXPECT_EQ(child<QPlainTextEdit>("Text1")->toPlainText(),
                  QString::fromStdString(row.listing).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        // Records converted before a failing one took their LocalIDs.
        if (row.listing != badMiddle) {
            EXPECT_EQ(window->localIdCounter(), counter);
        }
        EXPECT_EQ(files.files, expected);
    }
    // The window stays usable after the engine threw.
    duringRun = {};
    generate(one, "maison");
    EXPECT_EQ(files.files.count("/os/maison.xml_SLbase.txt"), 1U);
}

// While a run is on the worker, nothing that feeds it can change, the listing box included.
// Closing asks whether to stop it: No lets it go on, and the box then keeps what the run left
// unconverted. Cancel, or closing and answering Yes, while the first record is being reported
// leaves no file, and the listing and counter as they were; quitting says nothing more and saves.
TEST_F(MainWindowTest, ARunOnTheWorkerLocksOnlyWhatFeedsIt)
{
    files.addFolder("/os");
    files.files["/home/ann/other.txt"] = "another listing";
    session.publicAddress = "203.0.113.7";
    const auto before = files.files;
    const std::string listing = exampleListing(3);
    const std::vector<const char*> inputs = {"Text5", "Text6", "Text7", "Text8", "Text3", "Command5", "Command2",
                                             "Command1", "Option0", "Option1", "Combo1", "LinkObjects", "OutputFormat"};
    for (const std::string end : {"No", "Cancel", "Yes"}) {
        SCOPED_TRACE(end);
        held = released = false;
        files.files = before;
        messages.shown.clear();
        messages.asked.clear();
        input.asked.clear();
        open(heldRunner("rest\r\n"));
        window->show();
        generate(listing, "maison", "/os/", false);
        ASSERT_TRUE(runEvents(5s, [&] { return held.load(); }));
        for (const char* name : inputs) EXPECT_FALSE(child(name)->isEnabled()) << name;
        for (const char* name : {"Command4", "Command7", "CancelRun"}) EXPECT_TRUE(child(name)->isEnabled()) << name;
        EXPECT_TRUE(child<QPlainTextEdit>("Text1")->isReadOnly());
        // The bar shows the fraction of the listing read.
        EXPECT_TRUE(runEvents(5s, [&] { return child<QProgressBar>("Progress")->value() > 0; }));
        // A load and the placeholder click reach nothing; a second "Générer XML" asks nothing and starts nothing.
        window->loadListingFile("/home/ann/other.txt", "other.txt");
        clickListingBox();
        emit child<QPushButton>("Command1")->clicked(false);
        EXPECT_EQ(input.asked.size(), 1U);
        EXPECT_EQ(window->listingText(), listing);

        messages.answers = {end == "Yes"};
        if (end == "Cancel") click("CancelRun");
        else window->close();
        EXPECT_EQ(messages.asked, end == "Cancel" ? Strings{} : Strings{builtInEnglish().entry(entry::kStopRunAndQuit)});
        released = true;
        waitForRun();
        EXPECT_EQ(window->isVisible(), end != "Yes");
        EXPECT_EQ(window->listingText(), end == "No" ? "rest\r\n" : listing);
        EXPECT_EQ(files.files.count("/os/maison.xml"), end == "No" ? 1U : 0U);
        if (end != "No") {
            EXPECT_EQ(files.files, before);
            EXPECT_EQ(window->localIdCounter(), "720001");
            EXPECT_EQ(messages.shown, end == "Yes" ? Strings{} : Strings{"The conversion was cancelled. Nothing was written."});
        }
        EXPECT_EQ(settings.param("UUID"), end == "Yes" ? convert::kDefaultOwnerUuid : "<absent>");
        if (end == "Yes") continue;
        for (const char* name : inputs) EXPECT_TRUE(child(name)->isEnabled()) << name;
        EXPECT_FALSE(child<QPlainTextEdit>("Text1")->isReadOnly());
        EXPECT_FALSE(child("Progress")->isVisible());
    }
}

// Tab goes down the left block, the middle block, the right block, then the listing, and
// round again (the two option buttons are one stop, as a group). Enter or Return presses the
// focused button; in the listing box it is a line break.
TEST_F(MainWindowTest, TheKeyboardAloneDrivesTheWindow)
{
    session.publicAddress = "203.0.113.7";
    open();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(runEvents(2s, [&] { return window->isActiveWindow(); }));
    child("Text5")->setFocus();
    Strings order;
    for (int i = 0; i < 16; ++i) {
        order.push_back(QApplication::focusWidget()->objectName().toStdString());
        sendKey(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(order, (Strings{"Text5", "Text6", "Text7", "Text8", "Command5", "Text3", "Command2", "Command1",
                              "LinkObjects", "OutputFormat", "Command4", "Option0", "Command7", "Combo1", "Text1",
                              "Text5"}));
    sendKey(child("Command7"), Qt::Key_Enter);
    EXPECT_NE(about(), nullptr);
    files.files["/prog/Regions/a.ini"] = "ExternalHostName = SYSTEMIP\r\n";
    sendKey(child("Option1"), Qt::Key_Return);
    EXPECT_EQ(files.files["/prog/Regions/a.ini"], "ExternalHostName = 203.0.113.7\r\n");
    type({{"Text1", ""}});
    sendKey(child("Text1"), Qt::Key_Return, QStringLiteral("\r"));
    EXPECT_EQ(window->listingText(), "\r\n");
}

// Every caption fits its control in each shipped language, switched while the window is
// shown: each button and label at least as wide as its size hint (its caption inside the style's
// margins), each chooser's items; and the window still fits a small screen.
// Also run at 200 % (QT_SCALE_FACTOR=2).
TEST_F(MainWindowTest, NoCaptionIsClippedInAnyLanguage)
{
    session.publicAddress = "255.255.255.255";
    open();
    window->show();
    for (const char* code : {"EN", "FR", "DE", "ES"}) {
        SCOPED_TRACE(code);
        const std::string name = std::string(code) + ".lng";
        files.files["/prog/" + name] =
            platform::StdFileSystem().readAll(std::string(VANTOR_SOURCE_DIR "/lang/") + name, nullptr).value_or("");
        ASSERT_TRUE(window->loadLanguage(name));
        QCoreApplication::processEvents();
        for (const QWidget* control : window->findChildren<QWidget*>()) {
            if (control->isVisible() && (qobject_cast<const QAbstractButton*>(control) || qobject_cast<const QLabel*>(control))) {
                EXPECT_LE(control->sizeHint().width(), control->width()) << control->objectName().toStdString();
            }
        }
        for (const char* chooser : {"Combo1", "OutputFormat"}) {
            auto* combo = child<QComboBox>(chooser);
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect field =
                combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
            for (int i = 0; i < combo->count(); ++i) {
                EXPECT_LE(combo->fontMetrics().horizontalAdvance(combo->itemText(i)), field.width())
                    << combo->itemText(i).toStdString();
            }
        }
        // Its smallest size leaves it room on a 960 x 540 screen, with its title bar and a panel.
        EXPECT_LE(window->minimumSize().width(), 900);
        EXPECT_LE(window->minimumSize().height(), 460);
    }
}

// One About window at a time; it closes with its button or Escape. The main window itself does
// not close on Escape.
TEST_F(MainWindowTest, AboutClosesWithItsButtonOrEscape)
{
    open();
    window->show();
    click("Command7");
    click("Command7");
    EXPECT_EQ(window->findChildren<QWidget*>(QStringLiteral("Apropos")).size(), 1U);
    QPointer<QWidget> shown = about();
    sendKey(shown->findChild<QPushButton*>("CloseButton"), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
    click("Command7");
    shown = about();
    shown->findChild<QPushButton*>("CloseButton")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(shown.isNull());
    sendKey(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
}

// "Local" and "Internet" rewrite the region files' host and say what they did; the option
// buttons show the host the files announce: a click whose run gave no file that host puts the
// earlier choice back, or none while no run has given one.
TEST_F(MainWindowTest, TheHostButtonsRewriteTheRegionFiles)
{
    files.files["/os/Regions/a.xml"] = regionWith("SYSTEMIP");
    files.files["/os/Regions/notes.txt"] = "nothing here\n";
    session.publicAddress = "203.0.113.7";  // known at the start: "Internet" is enabled
    open();
    const auto shown = [this] {
        return std::string(child<QRadioButton>("Option0")->isChecked() ? "Local" : "") +
               (child<QRadioButton>("Option1")->isChecked() ? "Internet" : "");
    };
    struct Row {
        const char* name;
        std::string address;
        const char* folder;
        const char* option;
        std::string said;  // the message begins so
        const char* shown;
        const char* host = nullptr;  // the host a.xml announces after the click; none: unchanged
    };
    const std::string bad = "bad\" address";
    const std::string rewritten = "FR 28\r\nFR 29\r\n\r\nAddress written: ";
    for (const Row& row : std::vector<Row>{
             {"an address that is no host", bad, "/os/", "Option1",
              "This address cannot be written into the region files:\r\n" + bad, ""},
             {"Internet", "203.0.113.7", "/os/", "Option1", rewritten + "203.0.113.7\r\n", "Internet", "203.0.113.7"},
             {"Local", bad, "/os/", "Option0", rewritten + "127.0.0.1\r\n", "Local", regions::kLocalHost},
             {"no Regions folder", "203.0.113.7", "/elsewhere", "Option1",
              "No Regions folder was found; nothing was rewritten:\r\n/elsewhere/Regions", "Local"}}) {
        SCOPED_TRACE(row.name);
        session.publicAddress = row.address;
        type({{"Text8", row.folder}});
        const std::string before = files.files.at("/os/Regions/a.xml");
        messages.shown.clear();
        click(row.option);
        EXPECT_EQ(shown(), row.shown);
        ASSERT_EQ(messages.shown.size(), 1U);
        EXPECT_EQ(messages.shown[0].rfind(row.said, 0), 0U) << messages.shown[0];
        EXPECT_EQ(files.files.at("/os/Regions/a.xml"), row.host ? regionWith(row.host) : before);
    }
}

// The start-up shows the main window once Timer1 ran after the address lookup ended.
TEST_F(StartupTest, TheMainWindowShowsTheAddressLookedUp)
{
    for (const std::optional<std::string>& address : {std::optional<std::string>{"198.51.100.23"},
                                                      std::optional<std::string>{}}) {
        SCOPED_TRACE(address.value_or("none"));
        QGuiApplication::setQuitOnLastWindowClosed(false);
        settings.values["param/Langue"] = "EN.lng";
        if (!address) settings.values["param/Charger"] = "/home/ann/builds/";
        ASSERT_TRUE(begin());
        EXPECT_TRUE(input.asked.empty());
        EXPECT_EQ(session.languageName, "EN.lng");
        EXPECT_EQ(session.lastFolder, address ? "/prog" : "/home/ann/builds/");
        EXPECT_FALSE(form()->isVisible());
        EXPECT_TRUE(startup->splash()->isVisible());
        pendingLookup(address);
        ASSERT_TRUE(runEvents(5s, [this] { return form()->isVisible() && !startup->splash()->isVisible(); }));
        expectShown({{"IP", address.value_or("Offline")}, {"Text1", "EN 17"}});
        EXPECT_EQ(child("Option1")->isEnabled(), address.has_value());
    }
    EXPECT_TRUE(settings.writes.empty());
}

TEST_F(StartupTest, TheMainWindowWaitsForTimer1)
{
    settings.values["param/Langue"] = "EN.lng";
    ASSERT_TRUE(begin({24h, 0ms}));
    pendingLookup(std::nullopt);
    runEvents(50ms, [] { return false; });
    EXPECT_FALSE(form()->isVisible());
    EXPECT_TRUE(startup->splash()->isVisible());
}

TEST_F(StartupTest, LanguageBoxAsksUntilAnAnswerNamesAFile)
{
    settings.values["param/Langue"] = "IT.lng";  // a stale name is forgotten
    input.answers = {"fr.lng", "IT", "", std::nullopt};
    EXPECT_FALSE(begin());  // cancelled
    EXPECT_EQ(form(), nullptr);
    // Files of 38 lines have no text of their own for the box: English stands in.
    const std::string box = "Vantor - Language | Please type your language below.\r\n\r\n(EN, FR) | FR";
    EXPECT_EQ(input.asked, Strings(4, box));
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
    EXPECT_EQ(input.asked, Strings{"Vantor - DE 129 / EN 129 / Language | DE 130\r\nEN 130\r\n"
                                   "Please type your language below.\r\n\r\n(DE, EN, FR, XX) | FR"});
}

TEST_F(StartupTest, AnUnreadableSavedLanguageIsAskedAgain)
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
