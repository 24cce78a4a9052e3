#include "app/extractor_window.h"

#include "app/region_map.h"
#include "app/widget_dialogs.h"
#include "extract/archive_fixture.h"
#include "extract/object_line_fixture.h"
#include "testing/opensim_fixture.h"
#include "fake_app_services.h"
#include "platform/std_platform.h"
#include "testing/fake_platform.h"
#include "window_services.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPointer>
#include <QHelpEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QProgressBar>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <atomic>
#include <fstream>

namespace vantor::app {
namespace {

namespace entry = language::entry;
using language::LanguageTable;

using namespace std::chrono_literals;
using test::objectAt;
using test::runEvents;
using test::sceneFile;

const char* const kScene = "/scenes/region.xml";

// Entries 0 to 37 read "E k"; the program texts after them are the built-in English ones.
LanguageTable languageTable()
{
    std::vector<std::string> entries;
    for (int k = 0; k < 38; ++k) entries.push_back("E " + std::to_string(k));
    return LanguageTable(std::move(entries));
}

// A file system whose create() waits until the gate opens, so that a test can act while a save
// on the worker has begun; everything else goes straight to the fake.
class GatedFileSystem final : public platform::FileSystem {
public:
    explicit GatedFileSystem(test::FakeFileSystem& files) : m_files(files) {}
    std::atomic<bool> open{false};

    bool exists(const std::string& path) const override { return m_files.exists(path); }
    bool isDirectory(const std::string& path) const override { return m_files.isDirectory(path); }
    std::optional<std::string> readAll(const std::string& path, std::string* reason) const override
    {
        return m_files.readAll(path, reason);
    }
    std::unique_ptr<platform::OutputFile> create(const std::string& path, std::string* reason) override
    {
        while (!open) QThread::msleep(1);
        return m_files.create(path, reason);
    }
    bool remove(const std::string& path) override { return m_files.remove(path); }
    std::vector<std::string> listFiles(const std::string& folder, std::string_view suffix) const override
    {
        return m_files.listFiles(folder, suffix);
    }

private:
    test::FakeFileSystem& m_files;
};

// A mark's green, also under the rectangle's light tint.
bool isMark(const QColor& colour) { return colour.green() > 120 && colour.red() < 60 && colour.blue() < 80; }

// Records the region of every paint of a widget.
struct PaintRecorder final : QObject {
    std::vector<QRegion> regions;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) regions.push_back(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

class ExtractorWindowTest : public ::testing::Test {
protected:
    ExtractorWindowTest()
    {
        test::ensureApplication();
        session.language = languageTable();
        session.lastFolder = "/scenes/";
        files.addFolder("/out");
    }

    // Opens the window on a scene file that the dialog chooses, as the main window does.
    void openOn(const std::string& text, platform::FileSystem* through = nullptr, const std::string& path = kScene)
    {
        if (!through) files.files[path] = text;
        const auto slash = path.find_last_of('/');
        dialogs.answers.push_back(platform::ChosenFile{path, path.substr(slash + 1)});
        openWindow(through);
    }
    // settle: let the window's events through once (a load on the worker may then end).
    void openWindow(platform::FileSystem* through = nullptr, std::uint64_t backgroundBytes = kBackgroundLoadBytes,
                    bool settle = true)
    {
        window = std::make_unique<ExtractorWindow>(
            session, ExtractorServices{through ? *through : files, dialogs, messages, clock});
        window->setBackgroundLoadBytes(backgroundBytes);
        window->resize(760, 860);
        window->open();
        window->show();
        if (settle) QCoreApplication::processEvents();
    }
    [[nodiscard]] RegionMap* map() const { return window->regionMap(); }
    [[nodiscard]] QPointF pixel(QPointF units) const
    {
        const MapTransform& t = map()->transform();
        return {t.pixelX(units.x()), t.pixelY(units.y())};
    }
    // A pointer event at a point given in map units.
    void mouse(QEvent::Type type, QPointF units, Qt::MouseButton button = Qt::LeftButton) const
    {
        const QPointF at = pixel(units);
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton
                                      : type == QEvent::MouseMove        ? Qt::MouseButtons(Qt::LeftButton)
                                                                         : Qt::MouseButtons(button);
        QMouseEvent event(type, at, map()->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button, held,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(map(), &event);
    }
    void drag(QPointF from, QPointF to) const
    {
        mouse(QEvent::MouseButtonPress, from);
        mouse(QEvent::MouseMove, to);
        mouse(QEvent::MouseButtonRelease, to);
    }
    void click(const char* name) const
    {
        auto* button = window->findChild<QAbstractButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        button->click();
    }
    void setInverse(bool on) const { window->findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(on); }
    [[nodiscard]] std::vector<std::string> tableNames() const { return test::namesOf(window->selection().objects()); }
    [[nodiscard]] std::string status() const { return window->statusText().toStdString(); }

    Session session;
    test::FakeFileSystem files;
    test::FakeDialogs dialogs;
    test::FakeMessageBox messages;
    test::FakeClock clock;
    std::unique_ptr<ExtractorWindow> window;
};

TEST_F(ExtractorWindowTest, OpensWithTheDesignCaptionsReplacedAndTheSceneDialog)
{
    openOn(sceneFile({objectAt("10", "10")}));
    // The texts after the file's 38 lines are the built-in English ones.
    EXPECT_EQ(window->windowTitle().toStdString(), "region.xml - XML/TXT map extractor");
    EXPECT_EQ(window->findChild<QGroupBox*>(QStringLiteral("Frame1"))->title().toStdString(), "Map");
    for (const auto& [control, caption] : std::vector<std::pair<const char*, const char*>>{
             {"Command1", "E 30"}, {"Command2", "E 31"}, {"Command3", "E 32"}, {"Command4", "E 33"}, {"Check1", "E 34"}}) {
        EXPECT_EQ(window->findChild<QAbstractButton*>(QString::fromLatin1(control))->text().toStdString(), caption);
    }
    ASSERT_EQ(dialogs.opened.size(), 1U);
    EXPECT_EQ(dialogs.opened[0].folder, "/scenes/");
    EXPECT_EQ(dialogs.opened[0].proposedName, "*.xml");
    EXPECT_EQ(dialogs.opened[0].filter, "Files xml/oar (*.xml *.oar)|*.xml *.oar");
    EXPECT_EQ(window->scenePath(), kScene);
    EXPECT_EQ(session.lastFolder, "/scenes/");
    EXPECT_EQ(window->selection().objects().size(), 1U);
}

// The title, the map's caption and the dialogs' filters are the language's; the title names
// the file loaded. Escape closes the window, wherever the focus is; Enter presses a button.
TEST_F(ExtractorWindowTest, TextsComeFromTheLanguageAndTheKeysWorkAsOnADialog)
{
    // Made on a screen smaller than its design size (760 x 860), it opens within the screen.
    const ExtractorWindow fresh(session, ExtractorServices{files, dialogs, messages, clock});
    const QSize room = fresh.screen()->availableGeometry().size();
    ASSERT_LT(room.height(), 860);
    EXPECT_LE(fresh.height(), room.height());
    EXPECT_LE(fresh.width(), room.width());

    std::vector<std::string> entries(entry::kLastProgramText + 1);
    for (std::size_t k = 0; k < entries.size(); ++k) entries[k] = "T " + std::to_string(k);
    entries[entry::kMapWindowFileTitle] = "%1 - T 121";
    session.language = LanguageTable(entries);
    files.files["/scenes/second.xml"] = sceneFile({objectAt("20", "20")});
    dialogs.answers = {std::nullopt};
    openWindow();
    EXPECT_EQ(window->windowTitle().toStdString(), "T 120");
    window = nullptr;
    openOn(sceneFile({objectAt("10", "10")}));
    EXPECT_EQ(window->windowTitle().toStdString(), "region.xml - T 121");
    EXPECT_EQ(window->findChild<QGroupBox*>(QStringLiteral("Frame1"))->title().toStdString(), "T 122");
    EXPECT_EQ(dialogs.opened.back().filter, "T 127 (*.xml *.oar)|*.xml *.oar");
    dialogs.answers = {platform::ChosenFile{"/scenes/second.xml", "second.xml"}};
    click("Command4");
    EXPECT_EQ(window->windowTitle().toStdString(), "second.xml - T 121");
    click("Command3");  // cancelled
    ASSERT_EQ(dialogs.saved.size(), 1U);
    EXPECT_EQ(dialogs.saved[0].filter, "T 128(*.xml)|*.xml|T 150(*.oar)|*.oar");

    // Enter on "Tout selectionner" after a drag selects the whole region again.
    drag({2000, 2000}, {3000, 3000});
    EXPECT_NE(window->selection().edges(), extract::SceneSelection().edges());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(window->findChild<QAbstractButton*>(QStringLiteral("Command2")), &enter);
    extract::SceneSelection whole(window->selection().map());
    whole.selectAll();
    EXPECT_EQ(window->selection().edges(), whole.edges());

    for (const char* focus : {"Command1", "Check1", "Map"}) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(window->findChild<QWidget*>(QString::fromLatin1(focus)), &escape);
        EXPECT_FALSE(window->isVisible()) << focus;
        window->show();
    }
}

// Opening ends in one of these ways; without a table the window closes itself through Timer1.
TEST_F(ExtractorWindowTest, OpeningWithoutAUsableFileClosesTheWindow)
{
    struct Case {
        const char* what;
        std::optional<std::string> file;  // what the chosen file holds; none: it does not exist
        bool cancel;
        std::vector<std::string> messages;
    };
    const std::string shortLine = "<a>1</b>xyz";  // 11 characters: an object without a position
    for (const Case& c : std::vector<Case>{
             {"cancelled dialog", {}, true, {}},
             {"missing file", {}, false, {}},
             {"read error", sceneFile({objectAt("1", "1"), shortLine}), false,
              {"E 36\r\nE 37\r\nLine 4 (object 2) has fewer than 24 values, so no position."}},
         }) {
        messages.shown.clear();
        dialogs.answers.clear();
        files.files.clear();
        session.lastFolder = "/before/";
        if (c.file) files.files["/elsewhere/r.xml"] = *c.file;
        if (!c.cancel) dialogs.answers.push_back(platform::ChosenFile{"/elsewhere/r.xml", "r.xml"});
        openWindow();
        EXPECT_EQ(messages.shown, c.messages) << c.what;
        EXPECT_EQ(session.lastFolder, c.cancel ? "/before/" : "/elsewhere/") << c.what;
        EXPECT_TRUE(window->selection().objects().empty()) << c.what;
        EXPECT_TRUE(runEvents(5s, [this] { return !window->isVisible(); })) << c.what;
    }
}

TEST_F(ExtractorWindowTest, CutOffLineKeepsTheMarksBeforeItAndTheWindowOpen)
{
    openOn(sceneFile({objectAt("10", "10", "a"), objectAt("20", "20", "b"), "<a>1</a><b>2</b><c",
                      objectAt("30", "30", "c")}));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(window->selection().objects().size(), 4U);
    EXPECT_EQ(window->selection().markers().size(), 2U);
    EXPECT_FALSE(window->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
    EXPECT_NE(status().find("Line 5 (object 3) is cut off"), std::string::npos) << status();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    click("Command1");  // the whole region: "Extraire" stops at the same object, and says where
    EXPECT_EQ(tableNames(), (std::vector<std::string>{"a", "b"}));
    EXPECT_NE(status().find("\"Extraire\" stopped at line 5 (object 3), which is cut off"), std::string::npos) << status();

    // An archive's objects have no lines: the object alone says where.
    files.files["/scenes/region.oar"] = test::makeArchive(
        {{"archive.xml", "<archive />"}, {"objects/a.xml", objectAt("10", "10", "a")}, {"objects/b.xml", "<a>1</a><b>2</b><c"}});
    dialogs.answers.push_back(platform::ChosenFile{"/scenes/region.oar", "region.oar"});
    click("Command4");
    EXPECT_NE(status().find("Object 2 is cut off"), std::string::npos) << status();
    click("Command1");
    EXPECT_NE(status().find("\"Extraire\" stopped at object 2, which is cut off"), std::string::npos) << status();
}

TEST_F(ExtractorWindowTest, MarksSitAtTheObjectsTopLeftCornersAndArePainted)
{
    openOn(sceneFile({objectAt("64.5", "200"), objectAt("0", "0"), objectAt("128", "128"), objectAt("300", "10")}));
    const std::vector<extract::Marker> expected{{2580, 2240}, {0, 10240}, {5120, 5120}, {12000, 9840}};
    EXPECT_EQ(window->selection().markers(), expected);

    const QImage painted = map()->grab().toImage();
    const auto colourAt = [&](float left, float top) {
        return painted.pixelColor((pixel({left, top}) + QPointF(1.5, 1.5)).toPoint());
    };
    EXPECT_TRUE(isMark(colourAt(2580, 2240)));
    EXPECT_TRUE(isMark(colourAt(5120, 5120)));
    EXPECT_FALSE(isMark(colourAt(3000, 3000)));

    // The tint shows what "Extraire" keeps: the rectangle (here the top-left quarter), or with
    // "Inverse" the rest.
    const auto tinted = [this](QPointF units) {
        const QColor colour = map()->grab().toImage().pixelColor(pixel(units).toPoint());
        return colour.blue() > colour.red() + 10;
    };
    drag({0, 0}, {5120, 5120});
    EXPECT_TRUE(tinted({3000, 3000}));
    EXPECT_FALSE(tinted({8000, 8000}));
    setInverse(true);
    EXPECT_FALSE(tinted({3000, 3000}));
    EXPECT_TRUE(tinted({8000, 8000}));
}

// Each row on a fresh window, on the edges of the drag example (x 50 or 150, y 181 or 231)
// and of the initial quarter.
TEST_F(ExtractorWindowTest, ExtraireKeepsTheObjectsStrictlyInsideOrOutside)
{
    struct Case {
        const char* what;
        std::optional<std::pair<QPointF, QPointF>> dragged;  // none: the lines as they are
        bool selectAll, inverse;
        std::vector<std::string> kept;
    };
    const std::pair<QPointF, QPointF> dragExample{{2000, 3000}, {6000, 1000}}, still{{2000, 3000}, {2000, 3000}};
    const std::vector<std::string> all = {"in-drag", "drag-left-edge", "drag-bottom-edge", "drag-right", "in-quarter",
                                          "quarter-right-edge", "south"};
    const auto plus = [&all](std::vector<std::string> more) {
        more.insert(more.begin(), all.begin(), all.end());
        return more;
    };
    for (const Case& c : std::vector<Case>{
             {"as loaded: the whole region", {}, false, false, plus({"clicked-point"})},
             {"as loaded, inverse", {}, false, true, {"outside-region"}},
             {"drag example", dragExample, false, false, {"in-drag", "quarter-right-edge"}},
             {"drag the other way", std::pair{dragExample.second, dragExample.first}, false, false,
              {"in-drag", "quarter-right-edge"}},
             {"drag inverse", dragExample, false, true,
              {"drag-right", "in-quarter", "south", "region-west-edge", "outside-region"}},
             {"click", still, false, false, {}},
             {"click inverse", still, false, true, plus({"region-west-edge", "outside-region"})},
             {"select all", {}, true, false, plus({"clicked-point"})},
             {"select all inverse", {}, true, true, {"outside-region"}}}) {
        openOn(sceneFile({objectAt("100", "200", "in-drag"), objectAt("50", "200", "drag-left-edge"),
                          objectAt("100", "181", "drag-bottom-edge"), objectAt("150.1", "200", "drag-right"),
                          objectAt("10", "200", "in-quarter"), objectAt("128", "200", "quarter-right-edge"),
                          objectAt("10", "100", "south"), objectAt("0", "100", "region-west-edge"),
                          objectAt("300", "100", "outside-region"), objectAt("50", "181", "clicked-point")}));
        if (c.dragged) drag(c.dragged->first, c.dragged->second);
        if (c.selectAll) click("Command2");
        setInverse(c.inverse);
        click("Command1");
        EXPECT_EQ(tableNames(), c.kept) << c.what;
        EXPECT_EQ(window->selection().dragState(), extract::DragState::Set) << c.what;
        EXPECT_EQ(window->selection().markers().size(), c.kept.size()) << c.what;
    }
}

TEST_F(ExtractorWindowTest, TheLinesFollowThePointerOnlyWhileAButtonIsHeld)
{
    openOn(sceneFile({objectAt("10", "10")}));
    const extract::SceneSelection& s = window->selection();
    EXPECT_EQ(s.v2(), (extract::MapLine{10240, 0, 10240}));  // the whole region, as loaded
    mouse(QEvent::MouseButtonPress, {2000, 3000}, Qt::RightButton);
    EXPECT_EQ(s.dragState(), extract::DragState::Dragging);
    EXPECT_EQ(s.v1(), (extract::MapLine{2000, 0, 10240}));
    EXPECT_EQ(s.h1(), (extract::MapLine{3000, 0, 10240}));
    EXPECT_EQ(s.v2().position, 10240);  // the second corner waits for a move
    // The pointer is held: a corner may lie outside the map.
    mouse(QEvent::MouseMove, {-800, 11000});
    EXPECT_EQ(s.v2(), (extract::MapLine{-800, 0, 10240}));
    EXPECT_EQ(s.h2(), (extract::MapLine{11000, 0, 10240}));
    mouse(QEvent::MouseButtonRelease, {6000, 1000}, Qt::RightButton);
    EXPECT_EQ(s.dragState(), extract::DragState::Set);
    QMouseEvent hover(QEvent::MouseMove, pixel({7000, 7000}), pixel({7000, 7000}), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(map(), &hover);
    EXPECT_EQ(s.v2().position, 6000);
    EXPECT_EQ(s.h2().position, 1000);
}

TEST_F(ExtractorWindowTest, ExtraireNarrowsTheTableFurtherEachTime)
{
    openOn(sceneFile({objectAt("100", "200", "a"), objectAt("10", "10", "b")}));
    drag({2000, 3000}, {6000, 1000});
    click("Command1");
    setInverse(true);
    click("Command1");
    EXPECT_TRUE(window->selection().objects().empty());
    EXPECT_NE(status().find("2 objects in the file, 0 in the table"), std::string::npos) << status();
}

TEST_F(ExtractorWindowTest, SaveWritesBothFilesAndSaysWhere)
{
    const std::string scene =
        sceneFile({objectAt("100", "200", "a"), objectAt("110", "210", "b"), objectAt("10", "10", "c")});
    openOn(scene);
    dialogs.answers.push_back(platform::ChosenFile{"/out/sel.xml", "sel.xml"});
    click("Command3");
    ASSERT_EQ(dialogs.saved.size(), 1U);
    EXPECT_EQ(dialogs.saved[0].folder, "/scenes/");
    EXPECT_EQ(dialogs.saved[0].proposedName, "region.xml");
    EXPECT_EQ(dialogs.saved[0].filter, "Files OS(*.xml)|*.xml|Region archive(*.oar)|*.oar");
    EXPECT_TRUE(dialogs.saved[0].confirmOverwrite);
    EXPECT_EQ(files.files["/out/sel.xml"], scene);
    const std::string listing = files.files["/out/sel.txt"];
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 7) << listing;
    EXPECT_EQ(listing.rfind("[12:00]", 0), 0U) << listing;
    EXPECT_EQ(messages.shown, std::vector<std::string>{"/out/sel.xmlE 35"});
    EXPECT_EQ(window->scenePath(), "/out/sel.xml");

    // Cancelling the next save changes nothing.
    click("Command3");
    EXPECT_EQ(dialogs.saved.back().folder, "/out/");
    EXPECT_EQ(window->scenePath(), "/out/sel.xml");
    EXPECT_EQ(messages.shown.size(), 1U);

    // A name ending in .oar saves a region archive, with the same listing beside it, and says
    // how to load it.
    dialogs.answers.push_back(platform::ChosenFile{"/out/sel.oar", "sel.oar"});
    click("Command3");
    const auto entries = test::archiveEntries(files.files["/out/sel.oar"]);
    ASSERT_EQ(entries.size(), 4U);
    EXPECT_EQ(entries[0].first, "archive.xml");
    EXPECT_EQ(files.files["/out/sel.txt"], listing);
    ASSERT_EQ(messages.shown.size(), 2U);
    EXPECT_EQ(messages.shown[1], "/out/sel.oarE 35\r\nLoad it in the OpenSim console with: load oar --merge \"/out/sel.oar\" "
                                 "(add --displacement <x,y,z> to move it). Without --merge, OpenSim first deletes "
                                 "every object in the region.");
}

TEST_F(ExtractorWindowTest, AFailingObjectIsNamedAndNoHalfListingIsWritten)
{
    // Enough values for a position, too few for a listing record.
    std::string broken = "<SceneObjectGroup>";
    namespace value = scene::value;
    for (std::size_t k = 0; k <= value::kPositionZ; ++k) {
        const std::string text = k == value::kName                                    ? "Broken" + std::string(995, '!')
                                 : k == value::kPositionX || k == value::kPositionY ? "100"
                                 : k == value::kPositionZ                           ? "20"
                                                                                      : "0";
        broken += "<v" + std::to_string(k) + ">" + text + "</v" + std::to_string(k) + ">";
    }
    broken += "</SceneObjectGroup>";
    openOn(sceneFile({objectAt("100", "200", "a"), broken, objectAt("10", "10", "c")}));
    dialogs.answers.push_back(platform::ChosenFile{"/out/sel.xml", "sel.xml"});
    click("Command3");
    ASSERT_EQ(messages.shown.size(), 1U);
    const std::string& message = messages.shown[0];
    // A name shows its first 300 characters.
    EXPECT_EQ(message.rfind("Object 2 (Broken" + std::string(294, '!') + "\u2026) cannot be exported: ", 0), 0U)
        << message;
    const std::string tail = ".\r\n/out/sel.xml was written; no listing was written.";
    EXPECT_EQ(message.substr(message.size() - tail.size()), tail) << message;
    EXPECT_EQ(files.files.count("/out/sel.xml"), 1U);
    EXPECT_EQ(files.files.count("/out/sel.txt"), 0U);
}

// Saving writes nothing, and says why, when the table is empty or when either file would
// replace the scene file shown on the map.
TEST_F(ExtractorWindowTest, SaveRefusesAnEmptyTableAndTheFileShownOnTheMap)
{
    // A scene file named .txt: saving as scene.xml would put the listing in its place.
    const std::string shown = "/scenes/scene.txt";
    const std::string scene = sceneFile({objectAt("100", "200", "a")});
    openOn(scene, nullptr, shown);
    for (const std::string& chosen : {shown, std::string("/scenes/scene.xml")}) {
        messages.shown.clear();
        dialogs.answers.push_back(platform::ChosenFile{chosen, "x"});
        click("Command3");
        EXPECT_EQ(messages.shown, std::vector<std::string>{"Saving to " + chosen + " would replace " + shown
                                                           + ", the scene file shown on the map. Nothing was written; "
                                                             "choose another name."});
    }
    EXPECT_EQ(files.files.at(shown), scene);
    EXPECT_EQ(files.files.count("/scenes/scene.xml"), 0U);
    EXPECT_EQ(window->scenePath(), shown);

    drag({0, 0}, {100, 100});
    click("Command1");
    ASSERT_TRUE(window->selection().objects().empty());
    messages.shown.clear();
    const std::size_t dialogsBefore = dialogs.saved.size();
    click("Command3");
    EXPECT_EQ(dialogs.saved.size(), dialogsBefore);  // not even asked where
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{"The table holds no object: there is nothing to save, and no file was written."});
}

// A large table saves on a worker with the busy bar; Cancel leaves no file.
TEST_F(ExtractorWindowTest, ALargeSaveRunsOnAWorkerAndCancelLeavesNoFile)
{
    GatedFileSystem gated(files);
    files.files[kScene] = sceneFile({objectAt("100", "200", "a"), objectAt("10", "10", "b")});
    openOn(files.files[kScene], &gated);
    window->setBackgroundSaveBytes(1);
    for (const bool cancel : {true, false}) {
        messages.shown.clear();
        gated.open = false;
        dialogs.answers.push_back(platform::ChosenFile{"/out/sel.xml", "sel.xml"});
        click("Command3");
        ASSERT_TRUE(window->isSaving()) << cancel;
        EXPECT_FALSE(window->findChild<QProgressBar*>(QStringLiteral("Progress"))->isHidden());
        EXPECT_FALSE(window->findChild<QWidget*>(QStringLiteral("Command3"))->isEnabled());
        EXPECT_NE(status().find("Saving sel.xml"), std::string::npos) << status();
        if (cancel) click("Cancel");
        gated.open = true;
        ASSERT_TRUE(runEvents(5s, [this] { return !window->isSaving(); })) << cancel;
        EXPECT_TRUE(window->findChild<QProgressBar*>(QStringLiteral("Progress"))->isHidden());
        EXPECT_TRUE(window->findChild<QWidget*>(QStringLiteral("Command3"))->isEnabled());
        EXPECT_EQ(files.files.count("/out/sel.xml"), cancel ? 0U : 1U) << cancel;
        EXPECT_EQ(files.files.count("/out/sel.txt"), cancel ? 0U : 1U) << cancel;
        EXPECT_EQ(files.openOutputs, 0);
        if (cancel) {
            EXPECT_TRUE(messages.shown.empty());
            EXPECT_NE(status().find("Saving cancelled: no file was written."), std::string::npos) << status();
        } else {
            EXPECT_EQ(messages.shown, std::vector<std::string>{"/out/sel.xmlE 35"});
        }
    }
}

TEST_F(ExtractorWindowTest, StatusCountsLiveAndTheTooltipNamesTheObject)
{
    openOn(sceneFile({objectAt("100", "200", "a &amp; b"), objectAt("110", "210", "b"), objectAt("10", "10", "c")}));
    EXPECT_NE(status().find("3 objects in the file, 3 in the table"), std::string::npos) << status();
    mouse(QEvent::MouseButtonPress, {2000, 3000});
    mouse(QEvent::MouseMove, {6000, 1000});
    EXPECT_NE(status().find("2 inside the rectangle"), std::string::npos) << status();
    EXPECT_NE(status().find("Pointer: 150.0 m, 231.0 m"), std::string::npos) << status();
    setInverse(true);
    EXPECT_NE(status().find("1 outside the rectangle"), std::string::npos) << status();
    mouse(QEvent::MouseButtonRelease, {6000, 1000});

    // Hovering the mark of the first object, a pixel inside it.
    const QPointF over = pixel({4000, 2240}) + QPointF(2, 2);
    EXPECT_EQ(map()->markerAtPixel(over), 0U);
    EXPECT_EQ(map()->markerAtPixel(pixel({3000, 5000})), std::nullopt);
    QHelpEvent help(QEvent::ToolTip, over.toPoint(), map()->mapToGlobal(over.toPoint()));
    QCoreApplication::sendEvent(map(), &help);
    EXPECT_EQ(QToolTip::text().toStdString(), "a & b\n100, 200, 22 m");
    QToolTip::hideText();
}

// Objects in OpenSim's own layouts carry other values at the indexes of the converter's: the
// tooltip reads the name and position by element, as the mark is placed.
TEST_F(ExtractorWindowTest, TheTooltipOfAnOpenSimObjectNamesItAndGivesItsPosition)
{
    test::OpenSimObject object;
    object.position = {"204.5", "210.25", "31"};
    object.parts[0].name = "Round Rug &amp; Teal";
    object.parts[0].creatorData = true;
    object.parts[0].inventoryItems = 2;
    test::OpenSimObject older = object;
    older.olderLayout = true;
    older.position = {"117.5", "120.75", "22"};
    openOn(test::legacyScene({test::openSimObjectXml(object), test::openSimObjectXml(older, 2)}));
    ASSERT_EQ(window->selection().markers().size(), 2U);
    for (const auto& [k, expected] : {std::pair{0, "Round Rug & Teal\n204.5, 210.25, 31 m"},
                                      std::pair{1, "Round Rug & Teal\n117.5, 120.75, 22 m"}}) {
        const extract::Marker& mark = window->selection().markers()[static_cast<std::size_t>(k)];
        const QPointF over = pixel({mark.left, mark.top}) + QPointF(2, 2);
        QHelpEvent help(QEvent::ToolTip, over.toPoint(), map()->mapToGlobal(over.toPoint()));
        QCoreApplication::sendEvent(map(), &help);
        EXPECT_EQ(QToolTip::text().toStdString(), expected);
        QToolTip::hideText();
    }
}

TEST_F(ExtractorWindowTest, DraggingRepaintsOnlyWhatTheRectangleLeftAndEntered)
{
    openOn(sceneFile({objectAt("100", "200")}));
    ASSERT_TRUE(runEvents(5s, [this] { return map()->isVisible(); }));
    mouse(QEvent::MouseButtonPress, {2000, 3000});
    mouse(QEvent::MouseMove, {6000, 1000});
    QCoreApplication::processEvents();
    PaintRecorder recorder;
    map()->installEventFilter(&recorder);
    mouse(QEvent::MouseMove, {6100, 900});
    ASSERT_TRUE(runEvents(5s, [&recorder] { return !recorder.regions.empty(); }));
    map()->removeEventFilter(&recorder);
    std::int64_t painted = 0;
    for (const QRect& r : recorder.regions.front()) painted += std::int64_t{r.width()} * r.height();
    const std::int64_t whole = std::int64_t{map()->width()} * map()->height();
    EXPECT_LT(painted * 10, whole) << painted << " of " << whole;
}

TEST_F(ExtractorWindowTest, AfterAResizeTheRectangleSelectsTheSameObjects)
{
    openOn(sceneFile({objectAt("100", "200", "in"), objectAt("50", "200", "edge"), objectAt("10", "10", "out")}));
    drag({2000, 3000}, {6000, 1000});
    const double sideBefore = map()->transform().side;
    window->resize(1300, 1000);
    ASSERT_TRUE(runEvents(5s, [&] { return map()->transform().side != sideBefore; }));
    EXPECT_GT(map()->transform().side, sideBefore);
    EXPECT_EQ(window->selection().edges(), (extract::RectangleEdges{2000, 6000, 7240, 9240}));
    // The marks are painted again at the new scale.
    const QImage painted = map()->grab().toImage();
    EXPECT_TRUE(isMark(painted.pixelColor((pixel({4000, 2240}) + QPointF(1.5, 1.5)).toPoint())));
    click("Command1");
    EXPECT_EQ(tableNames(), std::vector<std::string>{"in"});
}

// Once a map is shown, "Charger XML" replaces it only with a file that loads: a cancelled
// dialog, a file that cannot be read, a missing file and a read error leave the window, the
// map, the table and the rectangle as they were; the message says why.
TEST_F(ExtractorWindowTest, ChargerXmlKeepsTheMapUnlessTheNewFileLoads)
{
    openOn(sceneFile({objectAt("100", "200", "a"), objectAt("20", "20", "b")}));
    drag({2000, 3000}, {6000, 1000});
    click("Command1");
    ASSERT_EQ(tableNames(), std::vector<std::string>{"a"});
    files.files["/scenes/notes.txt"] = "just some text, not a scene\r\n";
    files.files["/scenes/locked.xml"] = sceneFile({objectAt("1", "1")});
    files.unreadable.insert("/scenes/locked.xml");
    struct Case {
        const char* what;
        std::optional<std::string> chosen;  // none: the dialog is cancelled
        bool message;
    };
    for (const Case& c : std::vector<Case>{{"cancelled", {}, false},
                                           {"a text file", "/scenes/notes.txt", true},
                                           {"unreadable", "/scenes/locked.xml", true},
                                           {"missing", "/scenes/gone.xml", true}}) {
        messages.shown.clear();
        if (c.chosen) dialogs.answers.push_back(platform::ChosenFile{*c.chosen, "x"});
        click("Command4");
        EXPECT_EQ(messages.shown.size(), c.message ? 1U : 0U) << c.what;
        EXPECT_EQ(tableNames(), std::vector<std::string>{"a"}) << c.what;
        EXPECT_EQ(window->selection().markers().size(), 1U) << c.what;
        EXPECT_EQ(window->selection().v1().position, 2000) << c.what;  // the rectangle stays
        EXPECT_EQ(window->scenePath(), kScene) << c.what;
        EXPECT_FALSE(window->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive()) << c.what;
        QCoreApplication::processEvents();
        EXPECT_TRUE(window->isVisible()) << c.what;
    }
    // A file that loads replaces the table, with the whole region selected again.
    files.files["/scenes/other.xml"] = sceneFile({objectAt("10", "10", "c"), objectAt("250", "5", "d")});
    dialogs.answers.push_back(platform::ChosenFile{"/scenes/other.xml", "other.xml"});
    click("Command4");
    EXPECT_EQ(tableNames(), (std::vector<std::string>{"c", "d"}));
    EXPECT_EQ(window->selection().edges(), (extract::RectangleEdges{0, 10240, 0, 10240}));
    EXPECT_EQ(window->scenePath(), "/scenes/other.xml");
    click("Command1");
    EXPECT_EQ(tableNames(), (std::vector<std::string>{"c", "d"}));
}

TEST_F(ExtractorWindowTest, ADroppedSceneFileLoadsWithoutTheDialog)
{
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("dropped.xml")).toStdString();
    std::ofstream(path, std::ios::binary) << sceneFile({objectAt("200", "50"), objectAt("220", "20")});
    platform::StdFileSystem disk;
    dialogs.answers.push_back(platform::ChosenFile{path, "dropped.xml"});
    openWindow(&disk);
    ASSERT_EQ(window->selection().objects().size(), 2U);
    drag({0, 0}, {5120, 5120});  // the top-left quarter holds neither
    click("Command1");
    ASSERT_TRUE(window->selection().objects().empty());

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &drop);
    EXPECT_EQ(dialogs.opened.size(), 1U);
    EXPECT_EQ(window->selection().objects().size(), 2U);
    EXPECT_EQ(window->scenePath(), path);
    EXPECT_EQ(session.lastFolder, folder.path().toStdString() + "/");
}

// An archive that cannot be read is said in the language's words, with the archive reader's
// own reason on a line of its own; memory that runs out while loading is a message too.
TEST_F(ExtractorWindowTest, RefusedArchivesAndExhaustedMemoryAreSaidInTheLanguage)
{
    files.files["/scenes/broken.oar"] = "not an archive at all";
    files.files["/scenes/huge.xml"] = sceneFile({objectAt("10", "10")});
    files.exhausting.insert("/scenes/huge.xml");
    for (const auto& [path, expected] : std::vector<std::pair<std::string, std::string>>{
             {"/scenes/broken.oar", "E 36\r\nIt is not an OpenSim region archive (.oar) that can be read. The archive "
                                    "reader says:\r\nUnrecognized archive format"},
             {"/scenes/huge.xml", "E 36\r\nThere is not enough memory to load it."}}) {
        messages.shown.clear();
        dialogs.answers.push_back(platform::ChosenFile{path, "x"});
        openWindow();
        EXPECT_EQ(messages.shown, std::vector<std::string>{expected}) << path;
        EXPECT_TRUE(runEvents(5s, [this] { return !window->isVisible(); })) << path;  // a first load: it closes
    }
}

// Qt's message boxes open over the map window, not over the window that happens to be active.
TEST_F(ExtractorWindowTest, ItsMessagesOpenOverTheMapWindow)
{
    QWidget mainWindow;
    mainWindow.show();
    QApplication::setActiveWindow(&mainWindow);
    WidgetMessageBox boxes;
    files.files[kScene] = sceneFile({objectAt("10", "10")});
    files.files["/scenes/notes.xml"] = "<a>1</b>xyz\r\n";
    dialogs.answers.push_back(platform::ChosenFile{kScene, "region.xml"});
    window = std::make_unique<ExtractorWindow>(session, ExtractorServices{files, dialogs, boxes, clock});
    window->open();
    window->show();
    QApplication::setActiveWindow(&mainWindow);
    const QWidget* parentSeen = nullptr;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&parentSeen] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (!box || !box->isVisible()) continue;
            parentSeen = box->parentWidget();
            box->accept();
        }
    });
    closer.start(10);
    dialogs.answers.push_back(platform::ChosenFile{"/scenes/notes.xml", "notes.xml"});
    click("Command4");
    closer.stop();
    EXPECT_EQ(parentSeen, window.get());
    EXPECT_EQ(window->selection().objects().size(), 1U);
}

// Large files load on a worker thread; these tests lower the threshold to a few bytes.
TEST_F(ExtractorWindowTest, ALargeFileLoadsOnAWorkerAndCanBeCancelled)
{
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("large.xml")).toStdString();
    std::ofstream(path, std::ios::binary) << sceneFile({objectAt("100", "200"), objectAt("20", "20")});
    platform::StdFileSystem disk;

    for (const bool cancel : {false, true}) {
        dialogs.answers.push_back(platform::ChosenFile{path, "large.xml"});
        openWindow(&disk, 16, false);
        EXPECT_TRUE(window->isLoading()) << cancel;
        EXPECT_FALSE(window->findChild<QProgressBar*>(QStringLiteral("Progress"))->isHidden());
        EXPECT_FALSE(window->findChild<QWidget*>(QStringLiteral("Command1"))->isEnabled());
        EXPECT_NE(status().find("Loading large.xml"), std::string::npos) << status();
        if (cancel) click("Cancel");
        ASSERT_TRUE(runEvents(5s, [this] { return window->findChildren<QThread*>().isEmpty(); })) << cancel;
        EXPECT_FALSE(window->isLoading());
        EXPECT_TRUE(window->findChild<QProgressBar*>(QStringLiteral("Progress"))->isHidden());
        EXPECT_TRUE(window->findChild<QWidget*>(QStringLiteral("Command1"))->isEnabled());
        EXPECT_EQ(window->selection().objects().size(), cancel ? 0U : 2U) << cancel;
        if (cancel) {
            EXPECT_NE(status().find("Loading cancelled"), std::string::npos) << status();
        }
    }
}

}  // namespace
}  // namespace vantor::app
