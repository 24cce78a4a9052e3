#include "app/main_window.h"

#include "app_fakes.h"
#include "convert/conversion_run.h"
#include "convert/text_codec.h"
#include "fakes/fake_platform.h"
#include "platform/std_platform.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <QUrl>

namespace vantor::app {
namespace {

// A language file whose entry k reads "<code> <k>", with the given entries replaced.
std::string languageFile(const std::string& code, std::size_t lines = entry::kCount,
                         const std::map<std::size_t, std::string>& replaced = {})
{
    std::string text;
    for (std::size_t k = 0; k < lines; ++k) {
        const auto it = replaced.find(k);
        text += (it != replaced.end() ? it->second : code + " " + std::to_string(k)) + "\r\n";
    }
    return text;
}

// The header and the first records of the bundled example listing.
std::string exampleListing(std::size_t records)
{
    platform::StdFileSystem disk;
    const auto bytes = disk.readAll(std::string(VANTOR_SOURCE_DIR) + "/examples/house.txt", nullptr);
    EXPECT_TRUE(bytes);
    const std::string text = convert::toCrLfLines(convert::decodeText(bytes.value_or("")));
    const auto lines = convert::splitLines(text);
    std::string listing;
    for (std::size_t i = 0; i < 1 + 2 * records && i < lines.size(); ++i) listing += std::string(lines[i]) + "\r\n";
    return listing;
}

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
    {
        test::qtApplication();
        files.files["/prog/EN.lng"] = languageFile("EN");
        files.files["/prog/FR.lng"] = languageFile("FR");
        session.programFolder = "/prog";
        session.languageFolder = "/prog";
        session.lastFolder = "/prog";
        session.publicAddress = "203.0.113.7";
        files.addFolder("/os");
    }

    MainWindow& open(ConversionRunner runner = &convert::runConversion)
    {
        window = std::make_unique<MainWindow>(session, services, std::move(runner), 2);
        EXPECT_TRUE(window->loadLanguage("FR.lng"));
        window->fillFromSettings();
        return *window;
    }

    template <typename T>
    T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QString text(const char* name) const { return child<QLineEdit>(name)->text(); }
    QString caption(const char* name) const { return child<QPushButton>(name)->text(); }
    void click(const char* name) const { child<QPushButton>(name)->click(); }

    void clickListingBox() const
    {
        QWidget* viewport = child<QPlainTextEdit>("Text1")->viewport();
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), viewport->mapToGlobal(QPointF(5, 5)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &press);
    }

    void chooseLanguage(const QString& name) const
    {
        auto* combo = child<QComboBox>("Combo1");
        const int index = combo->findText(name);
        ASSERT_GE(index, 0);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    void setListing(const std::string& listing) const
    {
        child<QPlainTextEdit>("Text1")->setPlainText(QString::fromStdString(listing));
    }

    test::FakeFileSystem files;
    test::FakeRandom random;
    test::FakeDialogs dialogs;
    test::FakeMessageBox messages;
    test::FakeInputBox input;
    test::FakeSettings settings;
    AppServices services{files, random, dialogs, messages, input, settings};
    Session session;
    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, DesignCaptionsAndLanguageTexts)
{
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("SL - > OpenSim - Prim Converter"));
    EXPECT_EQ(window->size(), QSize(704, 540));
    EXPECT_EQ(child<QLabel>("Label5")->text(), QStringLiteral("FR 10"));
    EXPECT_EQ(child<QLabel>("Label6")->text(), QStringLiteral("FR 11"));
    const std::vector<std::pair<const char*, const char*>> buttons = {
        {"Command5", "FR 12"}, {"Command2", "FR 13"}, {"Command1", "FR 14"}, {"Command4", "FR 15"}, {"Command7", "FR 16"}};
    for (const auto& [name, expected] : buttons) EXPECT_EQ(caption(name), QString::fromLatin1(expected)) << name;
    EXPECT_EQ(child<QPlainTextEdit>("Text1")->toPlainText(), QStringLiteral("FR 17"));
    EXPECT_EQ(child<QLabel>("Label7")->text(), QStringLiteral("External Host :"));
    EXPECT_EQ(child<QLabel>("LabelUUID")->text(), QStringLiteral("UUID :"));
    EXPECT_EQ(child<QRadioButton>("Option0")->text(), QStringLiteral("Local"));
    EXPECT_EQ(child<QRadioButton>("Option1")->text(), QStringLiteral("Internet"));
    EXPECT_EQ(child<QPushButton>("Command7")->geometry(), QRect(632, 0, 65, 49));
    EXPECT_EQ(child<QPlainTextEdit>("Text1")->geometry(), QRect(0, 72, 697, 467));
    auto* group = window->findChild<QButtonGroup*>(QStringLiteral("Option"));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->id(child<QRadioButton>("Option0")), 0);
    EXPECT_EQ(group->id(child<QRadioButton>("Option1")), 1);
    EXPECT_EQ(window->localIdCounter(), "720001");
}

TEST_F(MainWindowTest, FirstRunFillsTheDefaults)
{
    open();
    EXPECT_EQ(text("Text8"), QStringLiteral("/prog/"));
    EXPECT_EQ(text("Text5"), QStringLiteral("125"));
    EXPECT_EQ(text("Text6"), QStringLiteral("125"));
    EXPECT_EQ(text("Text7"), QStringLiteral("25"));
    EXPECT_EQ(text("Text3"), QStringLiteral("3f1c9a2e-7b40-4d5e-9c81-6a2f0e4b7d13"));
    EXPECT_EQ(child<QLabel>("IP")->text(), QStringLiteral("203.0.113.7"));
    EXPECT_TRUE(child<QRadioButton>("Option1")->isEnabled());
}

TEST_F(MainWindowTest, OfflineDisablesInternet)
{
    session.publicAddress = "Offline";
    open();
    EXPECT_EQ(child<QLabel>("IP")->text(), QStringLiteral("Offline"));
    EXPECT_FALSE(child<QRadioButton>("Option1")->isEnabled());
    EXPECT_TRUE(child<QRadioButton>("Option0")->isEnabled());
}

TEST_F(MainWindowTest, ShutDownWritesTheSettingsInOrderAndTheyComeBackUnchanged)
{
    settings.values["param/Langue"] = "FR.lng";
    open();
    session.lastFolder = "/home/ann/builds/";
    child<QLineEdit>("Text8")->setText(QStringLiteral("/opt/open sim/"));
    child<QLineEdit>("Text5")->setText(QStringLiteral("12,5"));
    child<QLineEdit>("Text6")->setText(QStringLiteral("abc"));
    child<QLineEdit>("Text7")->setText(QStringLiteral(" 30 "));
    child<QLineEdit>("Text3")->setText(QStringLiteral("owner"));
    window->show();
    window->close();

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"CheminOS", "/opt/open sim/"}, {"X", "12,5"}, {"Y", "abc"}, {"Z", " 30 "},
        {"UUID", "owner"}, {"Charger", "/home/ann/builds/"}, {"Langue", "FR.lng"}};
    EXPECT_EQ(settings.writes, expected);

    open();
    EXPECT_EQ(text("Text8"), QStringLiteral("/opt/open sim/"));
    EXPECT_EQ(text("Text5"), QStringLiteral("12,5"));
    EXPECT_EQ(text("Text6"), QStringLiteral("abc"));
    EXPECT_EQ(text("Text7"), QStringLiteral(" 30 "));
    EXPECT_EQ(text("Text3"), QStringLiteral("owner"));
}

TEST_F(MainWindowTest, LanguageChooserSelectsOnlyAnExactName)
{
    struct Case {
        const char* saved;
        int index;
        const char* shown;
    };
    for (const Case& c : {Case{"FR.lng", 1, "FR.lng"}, Case{"EN.lng", 0, "EN.lng"}, Case{"fr.lng", -1, "Combo1"},
                          Case{"FR", -1, "Combo1"}, Case{"None", -1, "Combo1"}}) {
        settings.values["param/Langue"] = c.saved;
        open();
        auto* combo = child<QComboBox>("Combo1");
        EXPECT_EQ(combo->count(), 2) << c.saved;
        EXPECT_EQ(combo->currentIndex(), c.index) << c.saved;
        EXPECT_EQ(combo->currentText(), QString::fromLatin1(c.shown)) << c.saved;
    }
    // Selecting EN.lng at start-up loads it.
    EXPECT_EQ(session.languageName, "FR.lng");
    settings.values["param/Langue"] = "EN.lng";
    open();
    EXPECT_EQ(session.languageName, "EN.lng");
    EXPECT_EQ(caption("Command1"), QStringLiteral("EN 14"));
}

TEST_F(MainWindowTest, NoChosenEntryKeepsTheLoadedLanguageAtShutDown)
{
    settings.values["param/Langue"] = "fr.lng";
    open();
    window->saveSettings();
    EXPECT_EQ(settings.param("Langue"), "FR.lng");
}

TEST_F(MainWindowTest, ChoosingALanguageReplacesTheListingAndCaptions)
{
    open();
    setListing("my pasted listing\r\n");
    chooseLanguage(QStringLiteral("EN.lng"));
    EXPECT_EQ(child<QPlainTextEdit>("Text1")->toPlainText(), QStringLiteral("EN 17"));
    EXPECT_EQ(caption("Command2"), QStringLiteral("EN 13"));
    EXPECT_EQ(caption("Command7"), QStringLiteral("EN 16"));
    EXPECT_EQ(child<QLabel>("Label5")->text(), QStringLiteral("EN 10"));
    window->saveSettings();
    EXPECT_EQ(settings.param("Langue"), "EN.lng");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MainWindowTest, UnreadableLanguageKeepsThePreviousOneAndSaysSo)
{
    settings.values["param/Langue"] = "FR.lng";
    open();
    files.unreadable.insert("/prog/EN.lng");
    setListing("kept\r\n");
    chooseLanguage(QStringLiteral("EN.lng"));
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_NE(messages.shown[0].text.find("EN.lng"), std::string::npos);
    EXPECT_EQ(messages.shown[0].title, "Vantor");
    EXPECT_EQ(caption("Command1"), QStringLiteral("FR 14"));
    EXPECT_EQ(window->listingText(), "kept\r\n");
    EXPECT_EQ(child<QComboBox>("Combo1")->currentText(), QStringLiteral("FR.lng"));
    EXPECT_EQ(session.languageName, "FR.lng");
    window->saveSettings();
    EXPECT_EQ(settings.param("Langue"), "FR.lng");
}

TEST_F(MainWindowTest, ShortLanguageFileGivesEmptyTexts)
{
    files.files["/prog/EN.lng"] = languageFile("EN", 14);
    open();
    chooseLanguage(QStringLiteral("EN.lng"));
    EXPECT_EQ(caption("Command2"), QStringLiteral("EN 13"));
    EXPECT_EQ(caption("Command1"), QString());
    EXPECT_EQ(child<QPlainTextEdit>("Text1")->toPlainText(), QString());
    // The empty box equals the empty placeholder entry: a click names the listing.
    clickListingBox();
    EXPECT_EQ(session.listingName, "défaut");
}

TEST_F(MainWindowTest, PlaceholderClickClearsOnlyThePlaceholder)
{
    open();
    clickListingBox();
    EXPECT_EQ(child<QPlainTextEdit>("Text1")->toPlainText(), QString());
    EXPECT_EQ(session.listingName, "défaut");
    session.listingName = "other";
    clickListingBox();
    EXPECT_EQ(session.listingName, "other");
    setListing("a listing\r\n");
    clickListingBox();
    EXPECT_EQ(window->listingText(), "a listing\r\n");
    EXPECT_EQ(session.listingName, "other");
}

TEST_F(MainWindowTest, LoadTxtReadsEveryLineWithCrLf)
{
    open();
    files.files["/home/ann/prims.txt"] = "first\nsecond\rthird\r\nG\xe9n\xe9r\xe9\xa0!";
    dialogs.answers = {platform::ChosenFile{"/home/ann/prims.txt", "prims.txt"}};
    click("Command2");
    ASSERT_EQ(dialogs.requests.size(), 1U);
    EXPECT_EQ(dialogs.requests[0].folder, "/prog/");
    EXPECT_EQ(dialogs.requests[0].proposedName, "*.txt");
    EXPECT_EQ(dialogs.requests[0].filter, "Files txt(*.txt)|*.txt");
    EXPECT_EQ(window->listingText(), "first\r\nsecond\r\nthird\r\nGénéré\u00a0!\r\n");
    EXPECT_EQ(session.listingName, "prims");
    EXPECT_EQ(session.lastFolder, "/home/ann/");

    // A second listing replaces the first entirely; only ".txt" and ".TXT" leave the name.
    files.files["/home/bob/PRIMS.Txt"] = "other\r\n";
    dialogs.answers = {platform::ChosenFile{"/home/bob/PRIMS.Txt", "PRIMS.Txt"}};
    click("Command2");
    EXPECT_EQ(dialogs.requests[1].folder, "/home/ann/");
    EXPECT_EQ(window->listingText(), "other\r\n");
    EXPECT_EQ(session.listingName, "PRIMS.Txt");
}

TEST_F(MainWindowTest, LoadTxtCancelledOrMissingLoadsNothing)
{
    open();
    setListing("kept\r\n");
    session.listingName = "kept";
    click("Command2");  // cancelled
    EXPECT_EQ(session.lastFolder, "/prog/");
    dialogs.answers = {platform::ChosenFile{"/gone/typed.txt", "typed.txt"}};
    click("Command2");
    EXPECT_EQ(session.lastFolder, "/gone/");
    EXPECT_EQ(window->listingText(), "kept\r\n");
    EXPECT_EQ(session.listingName, "kept");
}

TEST_F(MainWindowTest, DroppedListingLoadsAsLoadTxt)
{
    open();
    files.files["/home/ann/tower.TXT"] = "a\rb";
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/ann/tower.TXT"))});
    QWidget* viewport = child<QPlainTextEdit>("Text1")->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    EXPECT_EQ(window->listingText(), "a\r\nb\r\n");
    EXPECT_EQ(session.listingName, "tower");
    EXPECT_EQ(session.lastFolder, "/home/ann/");
}

TEST_F(MainWindowTest, BrowseSetsTheOpenSimFolder)
{
    open();
    click("Command5");  // cancelled
    ASSERT_EQ(dialogs.requests.size(), 1U);
    EXPECT_EQ(dialogs.requests[0].folder, "/prog");
    EXPECT_EQ(dialogs.requests[0].proposedName, "OpenSim.exe");
    EXPECT_EQ(dialogs.requests[0].filter, "File (OpenSim.exe)|OpenSim.exe");
    EXPECT_EQ(text("Text8"), QStringLiteral("/prog/"));
    dialogs.answers = {platform::ChosenFile{"/opt/opensim/bin/OpenSim.exe", "OpenSim.exe"}};
    click("Command5");
    EXPECT_EQ(text("Text8"), QStringLiteral("/opt/opensim/bin/"));
}

TEST_F(MainWindowTest, GenerateWritesBothFilesAndSaysSo)
{
    open();
    child<QLineEdit>("Text8")->setText(QStringLiteral("/os/"));
    const std::string listing = exampleListing(3);
    setListing(listing);
    session.listingName = "prims";
    input.answers = {std::string("maison")};
    click("Command1");

    ASSERT_EQ(input.asked.size(), 1U);
    EXPECT_EQ(input.asked[0].prompt, "FR 18");
    EXPECT_EQ(input.asked[0].title, "FR 19");
    EXPECT_EQ(input.asked[0].defaultText, "prims");
    ASSERT_TRUE(files.exists("/os/maison.xml"));
    EXPECT_EQ(files.files["/os/maison.xml_SLbase.txt"], listing + "\r\n");
    EXPECT_NE(files.files["/os/maison.xml"].find("<LocalID>720002</LocalID>"), std::string::npos);
    EXPECT_NE(files.files["/os/maison.xml"].find("<LocalID>720004</LocalID>"), std::string::npos);
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_EQ(messages.shown[0].text, "FR 22maison.xmlFR 23");
    EXPECT_EQ(messages.shown[0].title, "Vantor");
    EXPECT_EQ(window->listingText(), "");
    EXPECT_EQ(window->localIdCounter(), "720004");
    EXPECT_EQ(session.listingName, "maison.xml");
    EXPECT_TRUE(child<QPushButton>("Command1")->isEnabled());
    EXPECT_FALSE(window->isConverting());

    // The next run proposes the last name and counts on.
    setListing(exampleListing(1));
    input.answers = {std::string("annexe")};
    click("Command1");
    EXPECT_EQ(input.asked[1].defaultText, "maison.xml");
    EXPECT_EQ(window->localIdCounter(), "720005");
}

TEST_F(MainWindowTest, GenerateCancelledOrDeclinedWritesNothing)
{
    open();
    child<QLineEdit>("Text8")->setText(QStringLiteral("/os/"));
    setListing(exampleListing(1));
    click("Command1");  // name question cancelled
    EXPECT_EQ(session.listingName, ".xml");
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(files.files.count("/os/.xml") == 0);

    files.files["/os/maison.xml"] = "earlier";
    input.answers = {std::string("maison")};
    messages.yesNoAnswers = {false};
    click("Command1");
    ASSERT_EQ(messages.questions.size(), 1U);
    EXPECT_EQ(messages.questions[0], "FR 20\r\nFR 21");
    EXPECT_EQ(files.files["/os/maison.xml"], "earlier");
    EXPECT_EQ(files.files.count("/os/maison.xml_SLbase.txt"), 0U);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(window->listingText(), exampleListing(1));
    EXPECT_EQ(window->localIdCounter(), "720001");
}

TEST_F(MainWindowTest, GenerateConversionErrorShowsTheRecordAndLeavesNoFile)
{
    open();
    child<QLineEdit>("Text8")->setText(QStringLiteral("/os/"));
    std::string listing = exampleListing(3);
    const std::string goodPosition = "<128.00000, 131.00000, 23.37500>";
    const auto at = listing.find(goodPosition);
    ASSERT_NE(at, std::string::npos);
    listing.replace(at, goodPosition.size(), "<abc, 131.00000, 23.37500>");
    setListing(listing);
    input.answers = {std::string("maison")};
    click("Command1");

    ASSERT_EQ(messages.shown.size(), 1U);
    const std::string& message = messages.shown[0].text;
    EXPECT_EQ(message.rfind("FR 24\r\n\r\nFR 25\r\n", 0), 0U) << message;
    EXPECT_NE(message.find("North wall: 2, <abc,"), std::string::npos) << message;
    EXPECT_EQ(files.files.count("/os/maison.xml"), 0U);
    EXPECT_EQ(files.files.count("/os/maison.xml_SLbase.txt"), 0U);
    EXPECT_EQ(window->listingText().find("North wall"), std::string::npos);
    EXPECT_NE(window->listingText().find("Window frame"), std::string::npos);
}

TEST_F(MainWindowTest, GenerateIntoAMissingFolderNamesIt)
{
    open();
    child<QLineEdit>("Text8")->setText(QStringLiteral("/nowhere/"));
    setListing(exampleListing(1));
    input.answers = {std::string("maison")};
    click("Command1");
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_NE(messages.shown[0].text.find("/nowhere"), std::string::npos) << messages.shown[0].text;
    EXPECT_EQ(window->listingText(), exampleListing(1));
    EXPECT_EQ(window->localIdCounter(), "720001");
}

TEST_F(MainWindowTest, EveryOutcomeIsWordedFromTheLanguage)
{
    convert::ConversionReport next;
    open([&next](const convert::ConversionRequest& request, convert::ConversionHost&, platform::FileSystem&,
                 platform::RandomSource&) {
        convert::ConversionReport report = next;
        report.listingName = "x.xml";
        report.remainingListing = request.listingText;
        return report;
    });
    const std::vector<std::pair<convert::ConversionOutcome, std::string>> cases = {
        {convert::ConversionOutcome::RecordTooShort, "FR 26\r\nFR 27"},
        {convert::ConversionOutcome::GuardStop, "FR 22x.xmlFR 23"},
    };
    for (const auto& [outcome, expected] : cases) {
        messages.shown.clear();
        next.outcome = outcome;
        click("Command1");
        ASSERT_EQ(messages.shown.size(), 1U);
        EXPECT_EQ(messages.shown[0].text, expected);
    }
    messages.shown.clear();
    next.outcome = convert::ConversionOutcome::OutputFailed;
    next.failedPath = "/os/x.xml";
    next.failureReason = "No space left on device";
    click("Command1");
    ASSERT_EQ(messages.shown.size(), 1U);
    EXPECT_NE(messages.shown[0].text.find("/os/x.xml"), std::string::npos);
    EXPECT_NE(messages.shown[0].text.find("No space left on device"), std::string::npos);
}

TEST_F(MainWindowTest, RunLetsEventsThroughAndIgnoresASecondClick)
{
    int runs = 0;
    bool eventSeen = false;
    bool readOnlyDuringRun = false;
    open([&](const convert::ConversionRequest& request, convert::ConversionHost& host, platform::FileSystem&,
             platform::RandomSource&) {
        ++runs;
        readOnlyDuringRun = child<QPlainTextEdit>("Text1")->isReadOnly();
        QTimer::singleShot(0, [&] { eventSeen = true; });
        QTimer::singleShot(0, [&] { click("Command1"); });
        QTimer::singleShot(0, [&] { window->close(); });
        for (int record = 1; record <= 3; ++record) {
            QThread::msleep(25);
            host.recordConverted({static_cast<std::size_t>(record), static_cast<std::size_t>(record), 3});
        }
        convert::ConversionReport report;
        report.outcome = convert::ConversionOutcome::Done;
        report.listingName = "x.xml";
        report.localIdCounter = "720004";
        (void)request;
        return report;
    });
    window->show();
    click("Command1");
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(eventSeen);
    EXPECT_TRUE(readOnlyDuringRun);
    EXPECT_FALSE(child<QPlainTextEdit>("Text1")->isReadOnly());
    // The close asked for during the run happens after it, with the settings saved.
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(settings.param("X"), "125");
}

QWidget* topLevel(const char* name)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(name) && widget->isVisible()) return widget;
    }
    return nullptr;
}

TEST_F(MainWindowTest, AboutAndExtractorOpenOnceEach)
{
    open();
    click("Command7");
    click("Command7");
    QWidget* about = topLevel("Apropos");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), QStringLiteral("A Propos"));
    EXPECT_EQ(about->size(), QSize(330, 333));
    EXPECT_EQ(about->findChild<QGroupBox*>(QStringLiteral("Frame1"))->title(), QStringLiteral("Vantor V6.0.2"));
    int abouts = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) abouts += widget->objectName() == QLatin1String("Apropos");
    EXPECT_EQ(abouts, 1);
    click("Command4");
    EXPECT_NE(topLevel("Form2"), nullptr);
    window.reset();
    EXPECT_EQ(topLevel("Apropos"), nullptr);
}

}  // namespace
}  // namespace vantor::app
