#include "app/extractor_window.h"

#include "app/region_map.h"
#include "app/shell_texts.h"
#include "app/widget_dialogs.h"
#include "app/window_basics.h"
#include "extract/listing_record.h"
#include "extract/object_parts.h"
#include "extract/scene_archive.h"
#include "extract/selection_export.h"
#include "text/strings.h"
#include "text/xml_text.h"
#include "ui_extractor_window.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QThread>
#include <QUrl>

#include <utility>

namespace vantor::app {

namespace entry = language::entry;
using language::LanguageTable;

namespace {

QString qtText(const std::string& value) { return QString::fromStdString(value); }

std::string number(std::size_t value) { return std::to_string(value); }

std::string metres(double value) { return QString::number(value, 'f', 1).toStdString(); }

// The folder part of a path, with its separator, and the name after it.
std::pair<std::string, std::string> splitPath(const std::string& path)
{
    const std::size_t cut = path.find_last_of("/\\");
    if (cut == std::string::npos) return {"", path};
    return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

std::string why(const LanguageTable& texts, const extract::RecordFailure& cause, std::size_t cutOffLine)
{
    const std::string value = number(cause.valueIndex);
    switch (cause.error) {
    case extract::RecordError::CutOffLine:
        return cutOffLine == 0 ? texts.entry(entry::kWhyCutOffInArchive)
                               : fillIn(texts.entry(entry::kWhyCutOff), {number(cutOffLine)});
    case extract::RecordError::MissingValue:
        return fillIn(texts.entry(entry::kWhyMissingValue), {value});
    case extract::RecordError::NotANumber:
        return fillIn(texts.entry(entry::kWhyNotANumber), {value});
    case extract::RecordError::ArithmeticFault:
        return fillIn(texts.entry(entry::kWhyTooLarge), {value});
    }
    return {};
}

}  // namespace

std::string sceneOpenFilter(const LanguageTable& texts)
{
    return texts.entry(entry::kSceneOpenFilterName) + " (*.xml *.oar)|*.xml *.oar";
}

std::string sceneSaveFilter(const LanguageTable& texts)
{
    return texts.entry(entry::kSceneSaveFilterName) + "(*.xml)|*.xml|" + texts.entry(entry::kArchiveSaveFilterName)
        + "(*.oar)|*.oar";
}

// The message of a read error: entries 36 and 37, then what the reader found and where; an
// archive refused, or a file that changed or did not fit in memory, has its own second line.
std::string sceneReadErrorMessage(const LanguageTable& texts, const extract::SceneLoad& load)
{
    const std::string first = texts.entry(entry::kSceneUnreadableLine1) + kCrLf;
    std::string detail;
    const extract::LoadFailure& failure = *load.failure;
    switch (failure.error) {
    case extract::LoadError::NotAnArchive:
        // The reason is the archive reader's own words, on a line of their own.
        return first + texts.entry(entry::kArchiveUnreadable) + kCrLf + failure.reason;
    case extract::LoadError::ObjectTooLarge:
        return first + fillIn(texts.entry(entry::kArchiveObjectTooLarge),
                              {failure.reason, number(extract::kLargestObjectBytes >> 20)});
    case extract::LoadError::NoScratchRoom:
        return first + fillIn(texts.entry(entry::kArchiveNoScratchRoom),
                              {number(platform::kScratchReserveBytes >> 30), failure.reason});
    case extract::LoadError::FileChanged:
        return first + texts.entry(entry::kSceneChanged);
    case extract::LoadError::OutOfMemory:
        return first + texts.entry(entry::kSceneOutOfMemory);
    case extract::LoadError::FileUnreadable:
        detail = fillIn(texts.entry(entry::kMapFileUnreadable), {failure.reason});
        break;
    case extract::LoadError::TooFewValues:
        detail = fillIn(texts.entry(entry::kMapTooFewValues), {number(failure.place.lineNumber), number(failure.place.objectNumber)});
        break;
    case extract::LoadError::PositionNotANumber:
        detail =
            fillIn(texts.entry(entry::kMapPositionNotNumber), {number(failure.place.lineNumber), number(failure.place.objectNumber)});
        break;
    }
    return first + texts.entry(entry::kSceneUnreadableLine2) + kCrLf + detail;
}

// The message of an export that failed: which file or which object, and why.
std::string exportFailureMessage(const LanguageTable& texts, const extract::ExportReport& report,
                                 std::size_t cutOffLine)
{
    const extract::ExportFailure& failure = *report.failure;
    std::string message;
    switch (failure.error) {
    case extract::ExportError::NothingToSave:
        return texts.entry(entry::kNothingToSave);
    case extract::ExportError::Stopped:
        return texts.entry(entry::kMapSaveCancelled);
    case extract::ExportError::InputChanged:
        return texts.entry(entry::kSceneUnreadableLine1) + kCrLf + texts.entry(entry::kSceneChanged);
    case extract::ExportError::OutOfMemory:
        return texts.entry(entry::kExportOutOfMemory);
    case extract::ExportError::ObjectRefused:
        return fillIn(texts.entry(entry::kArchiveObjectRefused),
                      {number(failure.objectNumber), text::messageExcerpt(failure.objectName), failure.reason});
    case extract::ExportError::AssetsFailed:
        return fillIn(texts.entry(entry::kArchiveAssetsFailed), {failure.path, failure.reason});
    case extract::ExportError::SceneFileFailed:
    case extract::ExportError::ListingFileFailed:
        message = fillIn(texts.entry(entry::kExportFileFailed), {failure.path, failure.reason});
        break;
    case extract::ExportError::HeaderFailed:
    case extract::ExportError::RecordFailed:
        message = fillIn(texts.entry(failure.error == extract::ExportError::HeaderFailed ? entry::kExportHeaderFailed
                                                                                        : entry::kExportObjectFailed),
                         {number(failure.objectNumber), text::messageExcerpt(failure.objectName), why(texts, failure.cause, cutOffLine)});
        break;
    }
    if (report.sceneWritten) {
        message += kCrLf + fillIn(texts.entry(entry::kExportNoListing), {report.scenePath});
    }
    return message;
}

ExtractorWindow::ExtractorWindow(Session& session, const ExtractorServices& services, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::Form2>()), m_session(session), m_services(services)
{
    ui->setupUi(this);
    fitOnScreen(*this);
    // Qt's boxes open over the active window, which is often the main window while this one
    // loads; this window's own open over it.
    if (dynamic_cast<WidgetMessageBox*>(&services.messages)) m_ownMessages = std::make_unique<WidgetMessageBox>(this);
    ui->Progress->hide();
    ui->Cancel->hide();
    // The Cancel button keeps the status line's height, so showing it moves nothing; the
    // status text takes the width the bar and the button leave.
    ui->Status->setMinimumHeight(ui->Cancel->sizeHint().height());
    ui->StatusRow->setStretch(0, 1);
    ui->Cancel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // The status line says a lot; it never widens the window.
    ui->Status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ui->Status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setSingleShot(true);
    m_timer1->setInterval(1);
    connect(m_timer1, &QTimer::timeout, this, &ExtractorWindow::closeDeferred);

    ui->Map->setSelection(&m_selection);
    ui->Map->setMarkerDescription([this](std::size_t k) { return describeMarker(k); });
    connect(ui->Map, &RegionMap::rectangleMoved, this, &ExtractorWindow::showCounts);
    connect(ui->Map, &RegionMap::pointerMoved, this, &ExtractorWindow::showPointer);
    connect(ui->Map, &RegionMap::pointerLeft, this, [this] {
        m_pointer.clear();
        showCounts();
    });
    connect(ui->Command1, &QPushButton::clicked, this, &ExtractorWindow::extractSelection);
    connect(ui->Command2, &QPushButton::clicked, this, &ExtractorWindow::selectWholeMap);
    connect(ui->Command3, &QPushButton::clicked, this, &ExtractorWindow::saveSelection);
    connect(ui->Command4, &QPushButton::clicked, this, &ExtractorWindow::reload);
    connect(ui->Check1, &QCheckBox::toggled, this, [this](bool inverse) {
        ui->Map->setInverse(inverse);
        showCounts();
    });
    connect(ui->Cancel, &QPushButton::clicked, this, &ExtractorWindow::cancelWork);
    pressFocusedButtonOnEnter(*this);
    showTitle();
    showCounts();
}

ExtractorWindow::~ExtractorWindow()
{
    // A load or save on its worker (running or cancelled) works through the services: it ends
    // first; a save asked to stop leaves no file.
    if (m_stopSave) m_stopSave->store(true);
    for (QThread* thread : findChildren<QThread*>()) thread->wait();
}

platform::MessageBox& ExtractorWindow::messages() const
{
    return m_ownMessages ? *m_ownMessages : m_services.messages;
}

RegionMap* ExtractorWindow::regionMap() const { return ui->Map; }

QString ExtractorWindow::text(std::size_t k) const { return qtText(m_session.language.entry(k)); }

void ExtractorWindow::applyCaptions()
{
    ui->Command1->setText(text(entry::kExtractButton));
    ui->Command2->setText(text(entry::kSelectAllButton));
    ui->Command3->setText(text(entry::kSaveSelectionButton));
    ui->Command4->setText(text(entry::kLoadSceneButton));
    ui->Check1->setText(text(entry::kInvertCheck));
    ui->Cancel->setText(text(entry::kMapCancel));
    ui->Frame1->setTitle(text(entry::kMapCaption));
    showTitle();
}

void ExtractorWindow::showTitle()
{
    const LanguageTable& texts = m_session.language;
    setWindowTitle(qtText(m_loadedName.empty() ? texts.entry(entry::kMapWindowTitle)
                                               : fillIn(texts.entry(entry::kMapWindowFileTitle), {m_loadedName})));
}

void ExtractorWindow::open()
{
    applyCaptions();
    if (!m_mapShown) {
        m_selection.setTable({}, {}, {});
        m_positions.clear();
        m_fileObjects = 0;
        m_note.clear();
        ui->Map->tableChanged();
        showCounts();
    }

    // Once a map is shown, a cancelled dialog, like a file that cannot be read, leaves it be;
    // before, the window has nothing to show and closes.
    const auto chosen =
        m_services.dialogs.openFile({"", m_session.lastFolder, "*.xml", sceneOpenFilter(m_session.language), false});
    if (!chosen) {
        if (!m_mapShown) m_timer1->start();
        return;
    }
    m_session.lastFolder = text::removeAll(text::removeAll(chosen->path, chosen->title), "*.xml");
    if (!m_mapShown && !m_services.files.exists(chosen->path)) {
        m_scenePath = chosen->path;
        m_timer1->start();
        return;
    }
    loadScene(chosen->path);
}

void ExtractorWindow::reload()
{
    if (isBusy()) return;
    open();
}

void ExtractorWindow::loadScene(const std::string& path)
{
    // A file whose size the file system cannot tell loads at once.
    if (m_services.files.fileSize(path).value_or(0) >= m_backgroundLoadBytes) {
        startBackgroundLoad(path);
        return;
    }
    finishLoad(extract::loadScenePath(m_services.files, path, m_selection.map()), path);
}

void ExtractorWindow::startBackgroundLoad(const std::string& path)
{
    auto result = std::make_shared<extract::SceneLoad>();
    platform::FileSystem& files = m_services.files;
    const extract::MapGeometry map = m_selection.map();
    QThread* thread = QThread::create([&files, path, map, result] { *result = extract::loadScenePath(files, path, map); });
    thread->setParent(this);
    m_loadThread = thread;
    connect(thread, &QThread::finished, this, [this, thread, result, path] {
        thread->deleteLater();
        if (thread != m_loadThread) return;  // cancelled: its table is not wanted
        m_loadThread = nullptr;
        setBusy(false);
        finishLoad(std::move(*result), path);
    });
    setBusy(true);
    m_note = qtText(fillIn(m_session.language.entry(entry::kMapLoading), {splitPath(path).second}));
    showCounts();
    thread->start();
}

void ExtractorWindow::cancelWork()
{
    if (isLoading()) {
        cancelLoad();
    } else if (m_stopSave) {
        // The save ends at its next object, leaving no file; its end says so.
        m_stopSave->store(true);
    }
}

void ExtractorWindow::cancelLoad()
{
    if (!m_loadThread) return;
    // The reading cannot be stopped half way; its result is dropped when it ends.
    m_loadThread = nullptr;
    setBusy(false);
    m_note = text(m_mapShown ? entry::kMapLoadCancelledKept : entry::kMapLoadCancelled);
    showCounts();
    emit loadFinished();
}

void ExtractorWindow::setBusy(bool busy)
{
    for (QWidget* control : {static_cast<QWidget*>(ui->Command1), static_cast<QWidget*>(ui->Command2),
                             static_cast<QWidget*>(ui->Command3), static_cast<QWidget*>(ui->Command4)}) {
        control->setEnabled(!busy);
    }
    ui->Map->setEnabled(!busy);
    ui->Progress->setVisible(busy);
    ui->Cancel->setVisible(busy);
}

void ExtractorWindow::finishLoad(extract::SceneLoad load, const std::string& path)
{
    if (!load) {
        messages().showMessage(sceneReadErrorMessage(m_session.language, load));
        // A map already shown stays as it was; without one the window has nothing to show.
        if (!m_mapShown) {
            m_scenePath = path;
            m_timer1->start();
        }
        emit loadFinished();
        return;
    }
    const extract::ObjectPlace cutOff = load.cutOff.value_or(extract::ObjectPlace{});
    m_cutOffLine = cutOff.lineNumber;
    m_cutOffObject = cutOff.objectNumber;
    m_note = load.cutOff ? qtText(cutOffNote(entry::kMapStoppedAtCutOff, entry::kMapStoppedAtCutOffObject)) : QString();
    m_scenePath = path;
    m_shownPath = path;
    m_mapShown = true;
    m_fileObjects = load.objects.size();
    m_loadedName = splitPath(m_scenePath).second;
    showTitle();
    m_positions = load.positions;
    m_selection.setTable(std::move(load.objects), std::move(load.markers), std::move(load.positions));
    // A new table starts with the whole region selected, so that "Extraire" before any drag
    // keeps every object of the region.
    m_selection.selectAll();
    ui->Map->tableChanged();
    ui->Map->linesChanged();
    showCounts();
    emit loadFinished();
}

void ExtractorWindow::closeDeferred()
{
    m_timer1->stop();
    close();
}

std::string ExtractorWindow::cutOffNote(std::size_t withLine, std::size_t withoutLine) const
{
    const LanguageTable& texts = m_session.language;
    if (m_cutOffLine == 0) return fillIn(texts.entry(withoutLine), {number(m_cutOffObject)});  // an archive
    return fillIn(texts.entry(withLine), {number(m_cutOffLine), number(m_cutOffObject)});
}

void ExtractorWindow::extractSelection()
{
    const extract::FilterResult result = m_selection.extract(ui->Check1->isChecked());
    m_positions = result.positions;
    // The filter stops at no other line than the cut-off one the load stopped at.
    m_note = result.stop ? qtText(cutOffNote(entry::kMapFilterStopped, entry::kMapFilterStoppedAtObject)) : QString();
    ui->Map->tableChanged();
    showCounts();
}

void ExtractorWindow::selectWholeMap()
{
    m_selection.selectAll();
    ui->Map->linesChanged();
    showCounts();
}

void ExtractorWindow::saveSelection()
{
    if (isBusy()) return;
    if (m_selection.objects().empty()) {
        messages().showMessage(m_session.language.entry(entry::kNothingToSave));
        return;
    }
    const auto [folder, name] = splitPath(m_scenePath);
    const auto chosen = m_services.dialogs.saveFile({"", folder, name, sceneSaveFilter(m_session.language), true});
    if (!chosen) return;
    if (m_mapShown && extract::exportReplacesInput(chosen->path, m_shownPath, m_services.files)) {
        messages().showMessage(fillIn(m_session.language.entry(entry::kSaveReplacesInput), {chosen->path, m_shownPath}),
                               platform::kApplicationTitle, platform::MessageIcon::Warning);
        return;
    }
    m_scenePath = chosen->path;
    std::uint64_t bytes = 0;
    for (const std::string_view object : m_selection.objects()) bytes += object.size();
    if (bytes >= m_backgroundSaveBytes) {
        startBackgroundSave();
        return;
    }
    finishSave(extract::saveSelection(m_selection.objects(), m_scenePath, m_shownPath, m_services.clock, m_services.files));
}

void ExtractorWindow::startBackgroundSave()
{
    auto result = std::make_shared<extract::ExportReport>();
    auto stop = std::make_shared<std::atomic<bool>>(false);
    platform::FileSystem& files = m_services.files;
    const platform::Clock& clock = m_services.clock;
    // The table shares its text with the window's, which no one changes while the window is busy.
    QThread* thread = QThread::create([&files, &clock, table = m_selection.objects(), path = m_scenePath,
                                       source = m_shownPath, result, stop] {
        *result = extract::saveSelection(table, path, source, clock, files,
                                         [&stop = *stop](const extract::ExportProgress&) { return !stop.load(); });
    });
    thread->setParent(this);
    m_saveThread = thread;
    m_stopSave = stop;
    connect(thread, &QThread::finished, this, [this, thread, result] {
        thread->deleteLater();
        m_saveThread = nullptr;
        m_stopSave.reset();
        setBusy(false);
        finishSave(*result);
    });
    setBusy(true);
    m_note = qtText(fillIn(m_session.language.entry(entry::kMapSaving), {splitPath(m_scenePath).second}));
    showCounts();
    thread->start();
}

void ExtractorWindow::finishSave(const extract::ExportReport& report)
{
    m_note.clear();
    if (report) {
        showCounts();
        std::string message = m_scenePath + m_session.language.entry(entry::kSelectionSaved);
        if (extract::isArchiveName(m_scenePath)) {
            message += kCrLf + fillIn(m_session.language.entry(entry::kArchiveLoadCommand), {m_scenePath});
            if (report.assetCount > 0) {
                message += kCrLf + fillIn(m_session.language.entry(entry::kArchiveAssetsCarried), {number(report.assetCount)});
            }
        }
        messages().showMessage(message);
    } else if (report.failure->error == extract::ExportError::Stopped) {
        m_note = text(entry::kMapSaveCancelled);
        showCounts();
    } else {
        showCounts();
        messages().showMessage(exportFailureMessage(m_session.language, report, m_cutOffLine),
                               platform::kApplicationTitle, platform::MessageIcon::Warning);
    }
    emit saveFinished();
}

QString ExtractorWindow::statusText() const { return ui->Status->text(); }

void ExtractorWindow::showCounts()
{
    if (isBusy()) {  // nothing to count yet, or nothing to change
        ui->Status->setText(m_note);
        return;
    }
    const LanguageTable& texts = m_session.language;
    QStringList parts;
    parts << qtText(fillIn(texts.entry(entry::kMapCounts), {number(m_fileObjects), number(m_selection.objects().size())}));
    const bool inverse = ui->Check1->isChecked();
    const std::size_t passing = countPassing(m_positions, m_selection.edges(), inverse, m_selection.map());
    parts << qtText(fillIn(texts.entry(inverse ? entry::kMapOutside : entry::kMapInside), {number(passing)}));
    if (!m_pointer.isEmpty()) parts << m_pointer;
    if (!m_note.isEmpty()) parts << m_note;
    ui->Status->setText(parts.join(QStringLiteral("   ·   ")));
}

void ExtractorWindow::showPointer(double xMetres, double yMetres)
{
    m_pointer = qtText(fillIn(m_session.language.entry(entry::kMapPointer), {metres(xMetres), metres(yMetres)}));
    showCounts();
}

QString ExtractorWindow::describeMarker(std::size_t k) const
{
    if (k >= m_selection.objects().size()) return {};
    std::string buffer;
    const extract::ObjectLabel label = extract::readObjectLabel(m_selection.objects().read(k, buffer));
    return qtText(text::decodeXmlText(label.name) + "\n" + label.x + ", " + label.y + ", " + label.z + " m");
}

void ExtractorWindow::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    emit closed();
}

void ExtractorWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ExtractorWindow::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (!isBusy() && mime->hasUrls() && !mime->urls().isEmpty() && mime->urls().front().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void ExtractorWindow::dropEvent(QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (isBusy() || !mime->hasUrls() || mime->urls().isEmpty() || !mime->urls().front().isLocalFile()) return;
    event->acceptProposedAction();
    const QFileInfo file(mime->urls().front().toLocalFile());
    const std::string path = file.filePath().toStdString();
    if (!m_services.files.exists(path)) return;
    m_session.lastFolder = withTrailingSeparator(file.path().toStdString());
    loadScene(path);
}

}  // namespace vantor::app
