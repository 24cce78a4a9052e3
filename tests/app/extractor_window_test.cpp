#include "app/extractor_window.h"

#include "app/region_map.h"
#include "extract/object_line_fixture.h"
#include "fakes/fake_app_services.h"
#include "fakes/fake_platform.h"
#include "platform/std_platform.h"
#include "window_services.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDropEvent>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <fstream>

namespace vantor::app {
namespace {

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
    EXPECT_EQ(window->windowTitle().toStdString(), "Map XML Extracteur XML/TXT");
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

// Opening ends in one of these ways; without a table the window closes itself through Timer1.
TEST_F(ExtractorWindowTest, OpeningWithoutAUsableFileClosesTheWindow)
{
    struct Case {
        const char* what;
        std::optional<std::string> file;  // what the chosen file holds; none: it does not exist
        bool cancel;
        std::vector<std::string> messages;
    };
    const std::string shortLine = "<a>1</a>xyz";  // 11 characters: an object without a position
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
    EXPECT_NE(status().find("Line 5 (object 3) ends inside a tag"), std::string::npos) << status();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
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

    // The tint shows what "Extraire" keeps: the initial quarter, or with "Inverse" the rest.
    const auto tinted = [this](QPointF units) {
        const QColor colour = map()->grab().toImage().pixelColor(pixel(units).toPoint());
        return colour.blue() > colour.red() + 10;
    };
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
             {"initial quarter", {}, false, false,
              {"in-drag", "drag-left-edge", "drag-bottom-edge", "in-quarter", "clicked-point"}},
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
    EXPECT_EQ(s.v2(), (extract::MapLine{5120, 0, 5120}));  // the initial quarter, half-length lines
    mouse(QEvent::MouseButtonPress, {2000, 3000}, Qt::RightButton);
    EXPECT_EQ(s.dragState(), extract::DragState::Dragging);
    EXPECT_EQ(s.v1(), (extract::MapLine{2000, 0, 10240}));
    EXPECT_EQ(s.h1(), (extract::MapLine{3000, 0, 10240}));
    EXPECT_EQ(s.v2().position, 5120);  // the second corner waits for a move
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
    EXPECT_EQ(dialogs.saved[0].filter, "Files OS(*.xml)|*.xml");
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
}

TEST_F(ExtractorWindowTest, AFailingObjectIsNamedAndNoHalfListingIsWritten)
{
    // Enough values for a position, too few for a listing record.
    std::string broken = "<SceneObjectGroup>";
    for (int k = 0; k < 25; ++k) {
        const std::string value = k == 19 ? "Broken" + std::string(995, '!') : k == 22 || k == 23 ? "100"
                                  : k == 24                                            ? "20"
                                                                                       : "0";
        broken += "<v" + std::to_string(k) + ">" + value + "</v" + std::to_string(k) + ">";
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

TEST_F(ExtractorWindowTest, ChargerXmlDiscardsTheMarksAndACancelClosesTheWindow)
{
    openOn(sceneFile({objectAt("100", "200")}));
    drag({2000, 3000}, {6000, 1000});
    click("Command4");
    EXPECT_EQ(dialogs.opened.size(), 2U);
    EXPECT_TRUE(window->selection().markers().empty());
    EXPECT_EQ(window->selection().v1().position, 2000);  // the rectangle stays
    EXPECT_TRUE(runEvents(5s, [this] { return !window->isVisible(); }));
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
    click("Command1");  // the initial quarter holds neither
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
