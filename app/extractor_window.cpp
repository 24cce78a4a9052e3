#include "app/extractor_window.h"

#include "app/region_map.h"
#include "app/shell_texts.h"
#include "extract/listing_record.h"
#include "extract/scene_archive.h"
#include "extract/selection_export.h"
#include "text/strings.h"
#include "text/xml_text.h"
#include "ui_extractor_window.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QThread>
#include <QUrl>

#include <filesystem>
#include <initializer_list>
#include <system_error>
#include <utility>

namespace vantor::app {

namespace {

QString qtText(const std::string& value) { return QString::fromStdString(value); }

// The pattern with "%1", "%2", ... replaced by the values, in one pass (a value that holds
// "%2" stays as it is).
std::string fillIn(const std::string& pattern, std::initializer_list<std::string> values)
{
    std::string out;
    out.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const auto index = static_cast<std::size_t>(pattern[i + 1] - '1');
            if (index < values.size()) {
                out += *(values.begin() + index);
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

std::string number(std::size_t value) { return std::to_string(value); }

std::string metres(double value) { return QString::number(value, 'f', 1).toStdString(); }

// The file's size, or 0 when the file system cannot tell (then it loads at once).
std::uint64_t fileSize(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(std::filesystem::path(path), error);
    return error ? 0 : size;
}

// The folder part of a path, with its separator, and the name after it.
std::pair<std::string, std::string> splitPath(const std::string& path)
{
    const std::size_t cut = path.find_last_of("/\\");
    if (cut == std::string::npos) return {"", path};
    return {path.substr(0, cut + 1), path.substr(cut + 1)};
}

std::string why(const LanguageTable& texts, const extract::RecordFailure& cause)
{
    const std::string value = number(cause.valueIndex);
    switch (cause.error) {
    case extract::RecordError::CutOffLine:
        return texts.entry(entry::kWhyCutOff);
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

// The message of a read error: entries 36 and 37, then what the reader found and where.
std::string sceneReadErrorMessage(const LanguageTable& texts, const extract::SceneLoad& load)
{
    std::string detail;
    switch (load.readError) {
    case extract::ReadError::FileUnreadable:
    case extract::ReadError::NotAnArchive:
        detail = fillIn(texts.entry(entry::kMapFileUnreadable), {load.reason});
        break;
    case extract::ReadError::TooFewValues:
        detail = fillIn(texts.entry(entry::kMapTooFewValues), {number(load.lineNumber), number(load.objectNumber)});
        break;
    case extract::ReadError::PositionNotANumber:
        detail =
            fillIn(texts.entry(entry::kMapPositionNotNumber), {number(load.lineNumber), number(load.objectNumber)});
        break;
    }
    return texts.entry(entry::kSceneUnreadableLine1) + kCrLf + texts.entry(entry::kSceneUnreadableLine2) + kCrLf +
           detail;
}

// The message of an export that failed: which file or which object, and why.
std::string exportFailureMessage(const LanguageTable& texts, const extract::ExportReport& report)
{
    const extract::ExportFailure& failure = *report.failure;
    std::string message;
    switch (failure.error) {
    case extract::ExportError::SceneFileFailed:
    case extract::ExportError::ListingFileFailed:
        message = fillIn(texts.entry(entry::kExportFileFailed), {failure.path, failure.reason});
        break;
    case extract::ExportError::HeaderFailed:
    case extract::ExportError::RecordFailed:
        message = fillIn(texts.entry(failure.error == extract::ExportError::HeaderFailed ? entry::kExportHeaderFailed
                                                                                        : entry::kExportObjectFailed),
                         {number(failure.objectNumber), text::messageExcerpt(failure.objectName),
                          why(texts, failure.cause)});
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
    setWindowTitle(QString::fromUtf8(kExtractorWindowTitle));
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
    connect(ui->Cancel, &QPushButton::clicked, this, &ExtractorWindow::cancelLoad);
    showCounts();
}

ExtractorWindow::~ExtractorWindow()
{
    // A load on its worker (running or cancelled) reads through the services: it ends first.
    for (QThread* thread : findChildren<QThread*>()) thread->wait();
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
}

void ExtractorWindow::open()
{
    applyCaptions();
    m_selection.setTable({}, {}, {});
    m_positions.clear();
    m_fileObjects = 0;
    m_note.clear();
    ui->Map->tableChanged();
    showCounts();

    const auto chosen =
        m_services.dialogs.openFile({"", m_session.lastFolder, "*.xml", kSceneOpenFilter, false});
    if (!chosen) {
        m_timer1->start();
        return;
    }
    m_scenePath = chosen->path;
    m_session.lastFolder = text::removeAll(text::removeAll(chosen->path, chosen->title), "*.xml");
    if (!m_services.files.exists(m_scenePath)) {
        m_timer1->start();
        return;
    }
    loadScene(m_scenePath);
}

void ExtractorWindow::reload()
{
    if (isLoading()) return;
    open();
}

void ExtractorWindow::loadScene(const std::string& path)
{
    m_scenePath = path;
    if (fileSize(path) >= m_backgroundLoadBytes) {
        startBackgroundLoad(path);
        return;
    }
    finishLoad(extract::loadScenePath(m_services.files, path, m_selection.map()));
}

void ExtractorWindow::startBackgroundLoad(const std::string& path)
{
    auto result = std::make_shared<extract::SceneLoad>();
    platform::FileSystem& files = m_services.files;
    const extract::MapGeometry map = m_selection.map();
    QThread* thread = QThread::create([&files, path, map, result] { *result = extract::loadScenePath(files, path, map); });
    thread->setParent(this);
    m_loadThread = thread;
    connect(thread, &QThread::finished, this, [this, thread, result] {
        thread->deleteLater();
        if (thread != m_loadThread) return;  // cancelled: its table is not wanted
        m_loadThread = nullptr;
        setBusy(false);
        finishLoad(std::move(*result));
    });
    setBusy(true);
    m_note = qtText(fillIn(m_session.language.entry(entry::kMapLoading), {splitPath(path).second}));
    showCounts();
    thread->start();
}

void ExtractorWindow::cancelLoad()
{
    if (!m_loadThread) return;
    // The reading cannot be stopped half way; its result is dropped when it ends.
    m_loadThread = nullptr;
    setBusy(false);
    m_note = text(entry::kMapLoadCancelled);
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

void ExtractorWindow::finishLoad(extract::SceneLoad load)
{
    if (load.outcome == extract::LoadOutcome::ReadError) {
        m_services.messages.showMessage(sceneReadErrorMessage(m_session.language, load));
        m_timer1->start();
        emit loadFinished();
        return;
    }
    m_note = load.outcome == extract::LoadOutcome::StoppedAtCutOff
                 ? qtText(fillIn(m_session.language.entry(entry::kMapStoppedAtCutOff),
                                 {number(load.lineNumber), number(load.objectNumber)}))
                 : QString();
    m_fileObjects = load.objects.size();
    m_positions = load.positions;
    m_selection.setTable(std::move(load.objects), std::move(load.markers), std::move(load.positions));
    ui->Map->tableChanged();
    showCounts();
    emit loadFinished();
}

void ExtractorWindow::closeDeferred()
{
    m_timer1->stop();
    close();
}

void ExtractorWindow::extractSelection()
{
    const extract::FilterResult result = m_selection.extract(ui->Check1->isChecked());
    m_positions = result.positions;
    m_note = result.stop ? qtText(fillIn(m_session.language.entry(entry::kMapFilterStopped), {number(result.stoppedAt)}))
                         : QString();
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
    const auto [folder, name] = splitPath(m_scenePath);
    const auto chosen = m_services.dialogs.saveFile({"", folder, name, kSceneSaveFilter, true});
    if (!chosen) return;
    m_scenePath = chosen->path;
    const extract::ExportReport report =
        extract::exportSelection(m_selection.objects(), m_scenePath, m_services.clock, m_services.files);
    if (!report) {
        m_services.messages.showMessage(exportFailureMessage(m_session.language, report), platform::kApplicationTitle,
                                        platform::MessageIcon::Warning);
        return;
    }
    m_services.messages.showMessage(m_scenePath + m_session.language.entry(entry::kSelectionSaved));
}

QString ExtractorWindow::statusText() const { return ui->Status->text(); }

void ExtractorWindow::showCounts()
{
    if (isLoading()) {  // nothing to count yet
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
    extract::ValueList values;
    (void)extract::TokeniseObjectLine(m_selection.objects()[k], values);
    const auto value = [&values](std::size_t i) { return i < values.size() ? std::string(values[i]) : std::string(); };
    const std::string name = values.size() > 19 ? text::decodeXmlText(values[19]) : std::string();
    return qtText(name + "\n" + value(22) + ", " + value(23) + ", " + value(24) + " m");
}

void ExtractorWindow::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (!isLoading() && mime->hasUrls() && !mime->urls().isEmpty() && mime->urls().front().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void ExtractorWindow::dropEvent(QDropEvent* event)
{
    const QMimeData* mime = event->mimeData();
    if (isLoading() || !mime->hasUrls() || mime->urls().isEmpty() || !mime->urls().front().isLocalFile()) return;
    event->acceptProposedAction();
    const QFileInfo file(mime->urls().front().toLocalFile());
    const std::string path = file.filePath().toStdString();
    if (!m_services.files.exists(path)) return;
    m_session.lastFolder = withTrailingSeparator(file.path().toStdString());
    m_selection.setTable({}, {}, {});
    m_positions.clear();
    m_fileObjects = 0;
    ui->Map->tableChanged();
    loadScene(path);
}

}  // namespace vantor::app
