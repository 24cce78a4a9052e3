#include "app/extractor_window.h"

#include "app/region_map.h"
#include "extract/archive_fixture.h"
#include "extract/object_line_fixture.h"
#include "fake_app_services.h"
#include "testing/fake_platform.h"
#include "window_services.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolTip>

#include <mutex>

namespace vantor::app {
namespace {

namespace entry = language::entry;
using language::LanguageTable;

using namespace std::chrono_literals;
using test::objectAt;
using test::runEvents;
using test::sendKey;
using test::sceneFile;
using Strings = std::vector<std::string>;

const char* const kScene = "/scenes/region.xml";

// Entries 0 to 37 read "E k"; the program texts after them are the built-in English ones.
LanguageTable languageTable()
{
    std::vector<std::string> entries;
    for (int k = 0; k < 38; ++k) entries.push_back("E " + std::to_string(k));
    return LanguageTable(std::move(entries));
}

// A mark's green, also under the rectangle's light tint.
bool isMark(const QColor& colour) { return colour.green() > 120 && colour.red() < 60 && colour.blue() < 80; }

class ExtractorWindowTest : public ::testing::Test, protected test::FakeWindowServices {
protected:
    ExtractorWindowTest()
    {
        test::ensureApplication();
        session.language = languageTable();
        session.lastFolder = "/scenes/";
        files.addFolder("/out");
    }

    // Opens the window on a scene file that the dialog chooses, as the main window does.
    void openOn(const std::string& text, const std::string& path = kScene)
    {
        files.files[path] = text;
        choose(path);
        openWindow();
    }
    void choose(const std::string& path) { dialogs.answers.push_back(platform::ChosenFile{path, path.substr(path.rfind('/') + 1)}); }
    // settle: let the window's events through once (a load on the worker may then end).
    void openWindow(std::uint64_t backgroundBytes = kBackgroundLoadBytes, bool settle = true)
    {
        window = std::make_unique<ExtractorWindow>(session, ExtractorServices{files, dialogs, messages, clock});
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
    template <typename T = QWidget>
    T* child(const char* name) const { return test::childOf<T>(*window, name); }
    void click(const char* name) const { child<QAbstractButton>(name)->click(); }
    void setInverse(bool on) const { child<QCheckBox>("Check1")->setChecked(on); }
    [[nodiscard]] Strings tableNames() const { return test::namesOf(window->selection().objects()); }
    [[nodiscard]] std::string status() const { return window->statusText().toStdString(); }
    // Whether the window shows the busy bar and holds its buttons, as while it loads or saves.
    void expectBusy(bool busy, const char* button) const
    {
        EXPECT_EQ(child("Progress")->isHidden(), !busy);
        EXPECT_EQ(child(button)->isEnabled(), !busy);
    }

    Session session;
    std::unique_ptr<ExtractorWindow> window;
};

// The title names the file loaded; the captions, the map's frame and the dialogs' filters are
// the language's, where the file has them.
TEST_F(ExtractorWindowTest, EveryTextComesFromTheLanguage)
{
    std::vector<std::string> entries(entry::kLastProgramText + 1);
    for (std::size_t k = 0; k < entries.size(); ++k) entries[k] = "T " + std::to_string(k);
    entries[entry::kMapWindowFileTitle] = "%1 - T 121";
    session.language = LanguageTable(entries);
    dialogs.answers = {std::nullopt};
    openWindow();
    EXPECT_EQ(window->windowTitle().toStdString(), "T 120");
    openOn(sceneFile({objectAt("10", "10")}));
    EXPECT_EQ(window->windowTitle().toStdString(), "region.xml - T 121");
    EXPECT_EQ(child<QGroupBox>("Frame1")->title().toStdString(), "T 122");
    for (const char* control : {"Command1", "Command2", "Command3", "Command4", "Check1"}) {
        EXPECT_EQ(child<QAbstractButton>(control)->text().toStdString().substr(0, 3), "T 3") << control;
    }
    EXPECT_EQ(dialogs.opened.back().filter, "T 127 (*.xml *.oar)|*.xml *.oar");
    files.files["/scenes/second.xml"] = sceneFile({objectAt("20", "20")});
    choose("/scenes/second.xml");
    click("Command4");
    EXPECT_EQ(window->windowTitle().toStdString(), "second.xml - T 121");
    click("Command3");  // cancelled
    ASSERT_EQ(dialogs.saved.size(), 1U);
    EXPECT_EQ(dialogs.saved[0].filter, "T 128(*.xml)|*.xml|T 150(*.oar)|*.oar");
}

// Made on a screen smaller than its design size (760 x 860), it opens within the screen.
TEST_F(ExtractorWindowTest, OpensWithinASmallScreen)
{
    const ExtractorWindow fresh(session, ExtractorServices{files, dialogs, messages, clock});
    const QSize room = fresh.screen()->availableGeometry().size();
    ASSERT_LT(room.height(), 860);
    EXPECT_LE(fresh.height(), room.height());
    EXPECT_LE(fresh.width(), room.width());
}

// Escape closes the window wherever the focus is; Enter presses the focused button.
TEST_F(ExtractorWindowTest, KeysWorkAsOnADialog)
{
    openOn(sceneFile({objectAt("10", "10")}));
    drag({2000, 2000}, {3000, 3000});
    sendKey(child("Command2"), Qt::Key_Return);  // "Tout selectionner"
    extract::SceneSelection whole(window->selection().map());
    whole.selectAll();
    EXPECT_EQ(window->selection().edges(), whole.edges());
    for (const char* focus : {"Command1", "Check1", "Map"}) {
        sendKey(child(focus), Qt::Key_Escape);
        EXPECT_FALSE(window->isVisible()) << focus;
        window->show();
    }
}

// A first load that gives no table says why (in the language's words, an archive reader's
// reason on a line of its own) and closes the window through Timer1.
TEST_F(ExtractorWindowTest, AFirstLoadThatFailsClosesTheWindow)
{
    struct Row {
        const char* name;
        std::string path;
        std::optional<std::string> file;  // what the chosen file holds; none: it does not exist
        bool cancel;
        Strings said;
        bool exhausting = false;
    };
    for (const Row& row : std::vector<Row>{
             {"cancelled dialog", "/elsewhere/r.xml", {}, true, {}},
             {"missing file", "/elsewhere/r.xml", {}, false, {}},
             {"an object without a position", "/elsewhere/r.xml", sceneFile({objectAt("1", "1"), "<a>1</b>xyz"}), false,
              {"E 36\r\nE 37\r\nLine 4 (object 2) has fewer than 24 values, so no position."}},
             {"a broken archive", "/elsewhere/r.oar", "not an archive at all", false,
              {"E 36\r\nIt is not an OpenSim region archive (.oar) that can be read. The archive reader says:\r\n"
               "Unrecognized archive format"}},
             {"memory runs out", "/elsewhere/r.xml", sceneFile({objectAt("10", "10")}), false,
              {"E 36\r\nThere is not enough memory to load it."}, true}}) {
        SCOPED_TRACE(row.name);
        messages.shown.clear();
        dialogs.answers.clear();
        files.files.clear();
        session.lastFolder = "/before/";
        if (row.file) files.files[row.path] = *row.file;
        if (row.exhausting) files.exhausting.insert(row.path);
        if (!row.cancel) choose(row.path);
        openWindow();
        EXPECT_EQ(messages.shown, row.said);
        EXPECT_EQ(session.lastFolder, row.cancel ? "/before/" : "/elsewhere/");
        EXPECT_TRUE(window->selection().objects().empty());
        EXPECT_TRUE(runEvents(5s, [this] { return !window->isVisible(); }));
    }
}

// A cut-off object stops the load and "Extraire" at the same place; the table keeps the
// entries before it, and the status says where.
TEST_F(ExtractorWindowTest, ACutOffLineStopsTheLoadWhereTheStatusSays)
{
    openOn(sceneFile({objectAt("10", "10", "a"), objectAt("20", "20", "b"), "<a>1</a><b>2</b><c",
                      objectAt("30", "30", "c")}));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_NE(status().find("Line 5 (object 3) is cut off"), std::string::npos) << status();
    EXPECT_FALSE(child<QTimer>("Timer1")->isActive());
    click("Command1");
    EXPECT_EQ(tableNames(), (Strings{"a", "b"}));
    EXPECT_NE(status().find("\"Extraire\" stopped at line 5 (object 3), which is cut off"), std::string::npos) << status();

    // An archive's objects have no lines: the object alone says where.
    files.files["/scenes/region.oar"] = test::makeArchive(
        {{"archive.xml", "<archive />"}, {"objects/a.xml", objectAt("10", "10", "a")}, {"objects/b.xml", "<a>1</a><b>2</b><c"}});
    choose("/scenes/region.oar");
    click("Command4");
    EXPECT_NE(status().find("Object 2 is cut off"), std::string::npos) << status();
    click("Command1");
    EXPECT_NE(status().find("\"Extraire\" stopped at object 2, which is cut off"), std::string::npos) << status();
}

// The tint covers what "Extraire" keeps: the rectangle, or with "Inverse" the rest. Marks sit at
// the objects' top-left corners; after a resize they are painted at the new scale and the
// rectangle still selects the same objects.
TEST_F(ExtractorWindowTest, TheMapShowsWhatExtraireKeeps)
{
    openOn(sceneFile({objectAt("100", "200", "in"), objectAt("50", "200", "edge"), objectAt("10", "10", "out")}));
    drag({2000, 3000}, {6000, 1000});
    const auto colourAt = [this](QPointF units) {
        return map()->grab().toImage().pixelColor((pixel(units) + QPointF(1.5, 1.5)).toPoint());
    };
    const auto tinted = [&](QPointF units) { return colourAt(units).blue() > colourAt(units).red() + 10; };
    EXPECT_TRUE(tinted({3000, 1500}));
    EXPECT_FALSE(tinted({8000, 8000}));
    setInverse(true);
    EXPECT_FALSE(tinted({3000, 1500}));
    EXPECT_TRUE(tinted({8000, 8000}));
    setInverse(false);
    const double sideBefore = map()->transform().side;
    window->resize(1300, 1000);
    ASSERT_TRUE(runEvents(5s, [&] { return map()->transform().side > sideBefore; }));
    EXPECT_TRUE(isMark(colourAt({4000, 2240})));
    click("Command1");
    EXPECT_EQ(tableNames(), Strings{"in"});
}

// What "Extraire" keeps through the window: the drag in pixels, "Inverse" and, as loaded, the whole region. Each row on a fresh window; the drag example's edges are
// x 50 or 150, y 181 or 231, and an object on an edge passes in neither mode.
TEST_F(ExtractorWindowTest, ExtraireKeepsWhatTheMapShowsSelected)
{
    struct Row {
        const char* name;
        std::optional<std::pair<QPointF, QPointF>> dragged;  // none: the lines as they are
        bool inverse;
        Strings kept;
    };
    const std::pair<QPointF, QPointF> dragExample{{2000, 3000}, {6000, 1000}}, still{{2000, 3000}, {2000, 3000}};
    for (const Row& row : std::vector<Row>{
             {"as loaded: the whole region", {}, false, {"in-drag", "on-drag-edge", "south"}},
             {"drag the other way, inverse", std::pair{dragExample.second, dragExample.first}, true,
              {"south", "outside-region"}},
             {"click inverse", still, true, {"in-drag", "on-drag-edge", "south", "outside-region"}}}) {
        SCOPED_TRACE(row.name);
        openOn(sceneFile({objectAt("100", "200", "in-drag"), objectAt("50", "200", "on-drag-edge"),
                          objectAt("10", "100", "south"), objectAt("300", "100", "outside-region")}));
        if (row.dragged) drag(row.dragged->first, row.dragged->second);
        setInverse(row.inverse);
        click("Command1");
        EXPECT_EQ(tableNames(), row.kept);
        EXPECT_EQ(window->selection().markers().size(), row.kept.size());
    }
}

// The listing goes beside the scene file or archive; the message says where, and for an
// archive how to load it.
TEST_F(ExtractorWindowTest, SaveWritesTheListingBesideTheOutput)
{
    const std::string scene =
        sceneFile({objectAt("100", "200", "a"), objectAt("110", "210", "b"), objectAt("10", "10", "c")});
    openOn(scene);
    choose("/out/sel.xml");
    click("Command3");
    EXPECT_EQ(dialogs.asked.back(), "/scenes/ | region.xml | Files OS(*.xml)|*.xml|Region archive(*.oar)|*.oar");
    EXPECT_TRUE(dialogs.saved[0].confirmOverwrite);
    EXPECT_EQ(files.files["/out/sel.xml"], scene);
    const std::string listing = files.files["/out/sel.txt"];
    EXPECT_EQ(window->scenePath(), "/out/sel.xml");

    click("Command3");  // cancelled: nothing changes
    EXPECT_EQ(dialogs.saved.back().folder, "/out/");
    EXPECT_EQ(window->scenePath(), "/out/sel.xml");

    choose("/out/sel.oar");
    click("Command3");
    EXPECT_EQ(files.files["/out/sel.txt"], listing);
    EXPECT_EQ(messages.shown,
              (Strings{"/out/sel.xmlE 35",
                       "/out/sel.oarE 35\r\nLoad it in the OpenSim console with: load oar --merge \"/out/sel.oar\" "
                       "(add --displacement <x,y,z> to move it). Without --merge, OpenSim first deletes every object "
                       "in the region."}));
}

TEST_F(ExtractorWindowTest, AnObjectThatCannotBeExportedLeavesNoListing)
{
    // Enough values for a position, too few for a listing record.
    std::string broken = "<SceneObjectGroup>";
    for (std::size_t k = 0; k <= scene::value::kPositionZ; ++k) {
        const std::string text = k == scene::value::kName ? "Broken" + std::string(995, '!') : k >= scene::value::kPositionX ? "100" : "0";
        broken += "<v" + std::to_string(k) + ">" + text + "</v" + std::to_string(k) + ">";
    }
    openOn(sceneFile({objectAt("100", "200", "a"), broken + "</SceneObjectGroup>", objectAt("10", "10", "c")}));
    choose("/out/sel.xml");
    click("Command3");
    ASSERT_EQ(messages.shown.size(), 1U);
    const std::string& message = messages.shown[0];
    // A name shows its first 300 characters.
    EXPECT_EQ(message.rfind("Object 2 (Broken" + std::string(294, '!') + "\u2026) cannot be exported: ", 0), 0U)
        << message;
    const std::string tail = ".\r\n/out/sel.xml was written; no listing was written.";
    EXPECT_EQ(message.substr(message.size() - tail.size()), tail) << message;
    EXPECT_EQ(files.files.count("/out/sel.txt"), 0U);
}

// Saving writes nothing, and says why, when either file would replace the scene file shown on
// the map, or when the table is empty (then it does not even ask where).
TEST_F(ExtractorWindowTest, SaveRefusesWhatWouldLoseTheSceneOrSaveNothing)
{
    // A scene file named .txt: saving as scene.xml would put the listing in its place.
    const std::string shown = "/scenes/scene.txt";
    const std::string scene = sceneFile({objectAt("100", "200", "a")});
    openOn(scene, shown);
    const std::string replaces = ", the scene file shown on the map. Nothing was written; choose another name.";
    struct Row {
        const char* name;
        std::optional<std::string> chosen;
        std::string said;
    };
    for (const Row& row : std::vector<Row>{
             {"the scene file itself", shown, "Saving to " + shown + " would replace " + shown + replaces},
             {"the listing over it", "/scenes/scene.xml", "Saving to /scenes/scene.xml would replace " + shown + replaces},
             {"an empty table", std::nullopt,
              "The table holds no object: there is nothing to save, and no file was written."}}) {
        SCOPED_TRACE(row.name);
        messages.shown.clear();
        if (row.chosen) {
            choose(*row.chosen);
        } else {
            drag({0, 0}, {100, 100});
            click("Command1");
        }
        const std::size_t asked = dialogs.saved.size();
        click("Command3");
        EXPECT_EQ(dialogs.saved.size(), asked + (row.chosen ? 1 : 0));
        EXPECT_EQ(messages.shown, Strings{row.said});
        EXPECT_EQ(files.files.at(shown), scene);
        EXPECT_EQ(files.files.count("/scenes/scene.xml"), 0U);
        EXPECT_EQ(window->scenePath(), shown);
    }
}

// A large table saves on a worker with the busy bar; Cancel leaves no file. The test holds the
// file system, which the worker then waits for, until it has looked at the window.
TEST_F(ExtractorWindowTest, ALargeSaveCanBeCancelledWithoutAFile)
{
    openOn(sceneFile({objectAt("100", "200", "a"), objectAt("10", "10", "b")}));
    window->setBackgroundSaveBytes(1);
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancelled" : "finished");
        messages.shown.clear();
        choose("/out/sel.xml");
        std::unique_lock held(files.guard);
        click("Command3");
        ASSERT_TRUE(window->isSaving());
        expectBusy(true, "Command3");
        EXPECT_NE(status().find("Saving sel.xml"), std::string::npos) << status();
        if (cancel) click("Cancel");
        held.unlock();
        ASSERT_TRUE(runEvents(5s, [this] { return !window->isSaving(); }));
        expectBusy(false, "Command3");
        EXPECT_EQ(files.files.count("/out/sel.xml"), cancel ? 0U : 1U);
        EXPECT_EQ(files.files.count("/out/sel.txt"), cancel ? 0U : 1U);
        EXPECT_EQ(files.openOutputs, 0);
        EXPECT_EQ(messages.shown, cancel ? Strings{} : Strings{"/out/sel.xmlE 35"});
        if (cancel) {
            EXPECT_NE(status().find("Saving cancelled: no file was written."), std::string::npos) << status();
        }
    }
}

// Large files load on a worker thread; the threshold is lowered to a few bytes.
TEST_F(ExtractorWindowTest, ALargeLoadCanBeCancelled)
{
    files.files[kScene] = sceneFile({objectAt("100", "200"), objectAt("20", "20")});
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "finished");
        choose(kScene);
        openWindow(16, false);
        EXPECT_TRUE(window->isLoading());
        expectBusy(true, "Command1");
        EXPECT_NE(status().find("Loading region.xml"), std::string::npos) << status();
        if (cancel) click("Cancel");
        ASSERT_TRUE(runEvents(5s, [this] { return window->findChildren<QThread*>().isEmpty(); }));
        expectBusy(false, "Command1");
        EXPECT_EQ(window->selection().objects().size(), cancel ? 0U : 2U);
        if (cancel) {
            EXPECT_NE(status().find("Loading cancelled"), std::string::npos) << status();
        }
    }
}

// Any button draws the rectangle, and a corner may lie outside the map while the button is
// held; the status counts what the rectangle holds while it is drawn.
TEST_F(ExtractorWindowTest, TheStatusCountsWhileTheRectangleIsDrawn)
{
    openOn(sceneFile({objectAt("100", "200", "a"), objectAt("110", "210", "b"), objectAt("10", "10", "c")}));
    EXPECT_NE(status().find("3 objects in the file, 3 in the table"), std::string::npos) << status();
    mouse(QEvent::MouseButtonPress, {2000, 3000}, Qt::RightButton);
    mouse(QEvent::MouseMove, {-800, 11000});
    EXPECT_EQ(window->selection().edges(), (extract::RectangleEdges{-800, 2000, -760, 7240}));
    mouse(QEvent::MouseMove, {6000, 1000});
    EXPECT_NE(status().find("2 inside the rectangle"), std::string::npos) << status();
    EXPECT_NE(status().find("Pointer: 150.0 m, 231.0 m"), std::string::npos) << status();
    mouse(QEvent::MouseButtonRelease, {6000, 1000}, Qt::RightButton);
    EXPECT_EQ(window->selection().edges(), (extract::RectangleEdges{2000, 6000, 7240, 9240}));
    setInverse(true);
    EXPECT_NE(status().find("1 outside the rectangle"), std::string::npos) << status();
}

// The tooltip shows the name, its XML escapes read, and the position of the object whose
// mark is under the pointer.
TEST_F(ExtractorWindowTest, TheTooltipNamesTheObjectUnderThePointer)
{
    openOn(sceneFile({objectAt("100", "200", "a &amp; b")}));
    const QPoint over = (pixel({4000, 2240}) + QPointF(2, 2)).toPoint();
    QHelpEvent help(QEvent::ToolTip, over, map()->mapToGlobal(over));
    QCoreApplication::sendEvent(map(), &help);
    EXPECT_EQ(QToolTip::text().toStdString(), "a & b\n100, 200, 22 m");
    QToolTip::hideText();
}

// Once a map is shown, "Charger XML" replaces it only with a file that loads: otherwise the
// window, the map, the table and the rectangle stay as they were, and the message says why.
TEST_F(ExtractorWindowTest, ChargerXmlKeepsTheMapUnlessTheNewFileLoads)
{
    openOn(sceneFile({objectAt("100", "200", "a"), objectAt("20", "20", "b")}));
    drag({2000, 3000}, {6000, 1000});
    click("Command1");
    ASSERT_EQ(tableNames(), Strings{"a"});
    files.files["/scenes/notes.txt"] = "just some text, not a scene\r\n";
    for (const char* chosen : {"/scenes/notes.txt", "/scenes/gone.xml"}) {
        SCOPED_TRACE(chosen);
        messages.shown.clear();
        choose(chosen);
        click("Command4");
        EXPECT_EQ(messages.shown.size(), 1U);
        EXPECT_EQ(tableNames(), Strings{"a"});
        EXPECT_EQ(window->selection().v1().position, 2000);  // the rectangle stays
        EXPECT_EQ(window->scenePath(), kScene);
        EXPECT_FALSE(child<QTimer>("Timer1")->isActive());
    }
    // A file that loads replaces the table, with the whole region selected again.
    files.files["/scenes/other.xml"] = sceneFile({objectAt("10", "10", "c"), objectAt("250", "5", "d")});
    choose("/scenes/other.xml");
    click("Command4");
    EXPECT_EQ(window->selection().edges(), (extract::RectangleEdges{0, 10240, 0, 10240}));
    click("Command1");
    EXPECT_EQ(tableNames(), (Strings{"c", "d"}));
}

TEST_F(ExtractorWindowTest, ADroppedSceneFileLoadsWithoutTheDialog)
{
    openOn(sceneFile({objectAt("10", "10")}));
    files.files["/dropped/b.xml"] = sceneFile({objectAt("200", "50"), objectAt("220", "20")});
    EXPECT_TRUE(test::dropFile(window.get(), "/dropped/b.xml"));
    EXPECT_EQ(dialogs.opened.size(), 1U);
    EXPECT_EQ(window->selection().objects().size(), 2U);
    EXPECT_EQ(session.lastFolder, "/dropped/");
}

}  // namespace
}  // namespace vantor::app
