#include "app/main_window.h"

#include "app/about_window.h"
#include "app/extractor_window.h"
#include "app/region_texts.h"
#include "app/settings_keys.h"
#include "app/shell_texts.h"
#include "app/window_basics.h"
#include "regions/region_hosts.h"
#include "text/strings.h"
#include "text/text_codec.h"
#include "ui_main_window.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

namespace vantor::app {

namespace entry = language::entry;
using language::LanguageTable;
using language::readLanguageFile;

namespace {

// How often the progress bar is brought up to date during a run.
constexpr int kProgressIntervalMs = 50;

std::string text(const QLineEdit* box) { return box->text().toStdString(); }

QString qtText(const std::string& value) { return QString::fromStdString(value); }

// The folder the conversion writes into: the OpenSim folder without its trailing separator,
// since the run puts one between folder and name.
std::string outputFolderOf(std::string folder)
{
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// The listing box's raw text with CR LF line ends. The raw text keeps every character as
// typed (the plain-text form would turn non-breaking spaces into blanks); blocks are
// separated by U+2029.
std::string crLfText(QString listing)
{
    listing.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    listing.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return listing.toStdString();
}

// What the language chooser shows for a language file: the language's name from the file's
// first line, or the file name without ".lng" when that line is empty or unreadable.
QString languageDisplayName(const platform::FileSystem& files, const std::string& folder, const std::string& fileName)
{
    const auto texts = readLanguageFile(files, folder, fileName);
    const QString name = texts ? qtText(texts->entry(0)).trimmed() : QString();
    if (!name.isEmpty()) return name;
    return QFileInfo(qtText(fileName)).completeBaseName();
}

}  // namespace

// One conversion on its worker thread. It holds its own copy of the listing, turned into
// the request's text on the worker, so a long listing does not hold up the window; the
// outcome is read by the window once the thread has finished.
struct MainWindow::Run {
    QString listing;
    convert::ConversionRequest request;
    RunControl control;
    std::optional<convert::ConversionReport> report;  // when the engine returned
    std::string failure;                              // what the engine threw
    std::unique_ptr<QThread> thread;

    void execute(const ConversionRunner& runner, platform::FileSystem& files, platform::RandomSource& random)
    {
        try {
            request.listingText = crLfText(std::move(listing));
            request.progress = control.progressCallback();
            report = runner(request, files, random);
        } catch (const std::exception& error) {
            failure = error.what();
        } catch (...) {
            failure = "unknown error";
        }
    }
};

MainWindow::MainWindow(Session& session, const AppServices& services, ConversionRunner runner, int revision,
                       QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::Form1>()), m_session(session), m_services(services),
      m_runner(std::move(runner)), m_revision(revision)
{
    ui->setupUi(this);
    // The layout is designed for a narrow 8-point interface font; a condensed face is
    // preferred where one is installed.
    QFont designFont = font();
    designFont.setPointSizeF(8);
    designFont.setStretch(QFont::SemiCondensed);
    setFont(designFont);
    ui->Option->setId(ui->Option0, 0);
    ui->Option->setId(ui->Option1, 1);
    m_browseMenu = new QMenu(this);
    m_browseMenu->setObjectName(QStringLiteral("BrowseMenu"));
    QAction* browseServer = m_browseMenu->addAction(QString());
    browseServer->setObjectName(QStringLiteral("BrowseServer"));
    QAction* browseFolder = m_browseMenu->addAction(QString());
    browseFolder->setObjectName(QStringLiteral("BrowseFolder"));
    // The output choice's entries in the order of convert::OutputFormat; their texts come with the language.
    ui->OutputFormat->addItem(QString(), QStringLiteral("xml"));
    ui->OutputFormat->addItem(QString(), QStringLiteral("oar"));
    ui->Progress->hide();
    ui->CancelRun->hide();
    ui->Text1->viewport()->installEventFilter(this);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(kProgressIntervalMs);
    m_designSize = size();
    fitToCaptions();
    pressFocusedButtonOnEnter(*this);

    connect(ui->Command2, &QPushButton::clicked, this, &MainWindow::loadListing);
    connect(ui->Command5, &QPushButton::clicked, this, &MainWindow::showBrowseChoices);
    connect(browseServer, &QAction::triggered, this, &MainWindow::chooseOpenSimServer);
    connect(browseFolder, &QAction::triggered, this, &MainWindow::chooseOpenSimFolder);
    connect(ui->Command1, &QPushButton::clicked, this, &MainWindow::generateScene);
    connect(ui->Command4, &QPushButton::clicked, this, &MainWindow::showExtractor);
    connect(ui->Command7, &QPushButton::clicked, this, &MainWindow::showAbout);
    connect(ui->Combo1, &QComboBox::activated, this, &MainWindow::chooseLanguage);
    connect(ui->Option, &QButtonGroup::idClicked, this, &MainWindow::rewriteRegionHosts);
    connect(ui->CancelRun, &QPushButton::clicked, this, &MainWindow::stopRun);
    connect(m_progressTimer, &QTimer::timeout, this, &MainWindow::showProgress);
}

MainWindow::~MainWindow()
{
    if (m_run) {
        // The window goes while a run is under way (the program is ending): stop it and wait.
        m_run->control.stopRequested = true;
        m_run->thread->wait();
    }
    if (m_qtTexts) QCoreApplication::removeTranslator(m_qtTexts.get());
}

bool MainWindow::loadLanguage(const std::string& fileName)
{
    std::string reason;
    auto table = readLanguageFile(m_services.files, m_session.languageFolder, fileName, &reason);
    if (!table) {
        m_services.messages.showMessage(unreadableLanguageMessage(fileName, reason));
        return false;
    }
    m_session.language = std::move(*table);
    m_session.languageName = fileName;
    useQtTranslations(fileName);
    applyLanguageTexts();
    return true;
}

void MainWindow::useQtTranslations(const std::string& languageName)
{
    // "FR.lng" gives Qt's "qtbase_fr" ("PT_BR.lng" would try "qtbase_pt_BR", then "qtbase_pt");
    // a language Qt has no texts for shows them in English.
    const QLocale language(QFileInfo(QString::fromStdString(languageName)).completeBaseName());
    if (m_qtTexts) QCoreApplication::removeTranslator(m_qtTexts.get());
    m_qtTexts = std::make_unique<QTranslator>();
    if (language.language() == QLocale::English || language.language() == QLocale::C ||
        !m_qtTexts->load(language, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        m_qtTexts.reset();
        return;
    }
    QCoreApplication::installTranslator(m_qtTexts.get());
}

void MainWindow::applyLanguageTexts()
{
    const LanguageTable& texts = m_session.language;
    setWindowTitle(qtText(texts.entry(entry::kMainWindowTitle)));
    ui->Label5->setText(qtText(texts.entry(entry::kRezPositionLabel)));
    ui->Label6->setText(qtText(texts.entry(entry::kOpenSimFolderLabel)));
    ui->Command5->setText(qtText(texts.entry(entry::kBrowseButton)));
    ui->Command2->setText(qtText(texts.entry(entry::kLoadTxtButton)));
    ui->Command1->setText(qtText(texts.entry(entry::kGenerateButton)));
    ui->Command4->setText(qtText(texts.entry(entry::kLoadXmlButton)));
    ui->Command7->setText(qtText(texts.entry(entry::kAboutButton)));
    ui->Label7->setText(qtText(texts.entry(entry::kExternalHostLabel)));
    ui->Option0->setText(qtText(texts.entry(entry::kLocalOption)));
    ui->Option1->setText(qtText(texts.entry(entry::kInternetOption)));
    ui->LinkObjects->setText(qtText(texts.entry(entry::kLinkObjects)));
    ui->LinkObjects->setToolTip(qtText(texts.entry(entry::kLinkObjectsTip)));
    ui->OutputFormat->setItemText(0, qtText(texts.entry(entry::kFormatSceneFile)));
    ui->OutputFormat->setItemText(1, qtText(texts.entry(entry::kFormatArchive)));
    ui->OutputFormat->setToolTip(qtText(texts.entry(entry::kOutputFormatTip)));
    const QList<QAction*> browse = m_browseMenu->actions();
    browse[0]->setText(qtText(texts.entry(entry::kBrowseServer)));
    browse[1]->setText(qtText(texts.entry(entry::kBrowseFolder)));
    if (m_addressShown) showPublicAddress();
    ui->CancelRun->setText(qtText(texts.entry(entry::kCancelButton)));
    ui->Progress->setFormat(qtText(texts.entry(entry::kRunUnderWay)) + QStringLiteral(" %p%"));
    ui->Text1->setPlainText(qtText(texts.entry(entry::kListingPlaceholder)));
    fitToCaptions();
}

void MainWindow::fitToCaptions()
{
    // The smallest size is what the captions and controls need, the listing box taking what
    // is left, so the window fits small screens. Before it is first shown it takes the
    // design size, as far as the screen has room; after that it only grows to fit captions.
    // Layouts nested two deep keep the sizes of their controls until activated.
    layout()->activate();
    const QSize smallest = layout()->minimumSize();
    setMinimumSize(smallest);
    if (isVisible()) {
        resize(size().expandedTo(smallest));
        return;
    }
    resize(m_designSize.expandedTo(smallest));
    fitOnScreen(*this);
}

void MainWindow::fillFromSettings()
{
    platform::SettingsStore& settings = m_services.settings;
    m_addressShown = true;
    showPublicAddress();
    if (m_session.publicAddress == kOffline) ui->Option1->setEnabled(false);

    fillLanguageChooser(settings.read(settings::kSection, settings::kLanguage, settings::kDefaultLanguageAtFill));

    ui->Text8->setText(qtText(settings.read(settings::kSection, settings::kOpenSimFolder,
                                            withTrailingSeparator(m_session.programFolder))));
    ui->Text5->setText(qtText(settings.read(settings::kSection, settings::kRezX, settings::kDefaultRezX)));
    ui->Text6->setText(qtText(settings.read(settings::kSection, settings::kRezY, settings::kDefaultRezY)));
    ui->Text7->setText(qtText(settings.read(settings::kSection, settings::kRezZ, settings::kDefaultRezZ)));
    ui->Text3->setText(qtText(settings.read(settings::kSection, settings::kOwnerUuid, settings::kDefaultOwnerUuid)));
    for (QLineEdit* box : {ui->Text8, ui->Text5, ui->Text6, ui->Text7, ui->Text3}) box->setCursorPosition(0);
    ui->LinkObjects->setChecked(settings.read(settings::kSection, settings::kLinkObjects, "0") == "1");
    const int format = ui->OutputFormat->findData(
        qtText(settings.read(settings::kSection, settings::kOutputFormat, settings::kDefaultOutputFormat)));
    ui->OutputFormat->setCurrentIndex(format >= 0 ? format : 0);
}

void MainWindow::showPublicAddress()
{
    const bool offline = m_session.publicAddress == kOffline;
    ui->IP->setText(offline ? qtText(m_session.language.entry(entry::kOfflineText)) : qtText(m_session.publicAddress));
}

void MainWindow::fillLanguageChooser(const std::string& saved)
{
    const auto names = m_services.files.listFiles(m_session.languageFolder, ".lng");
    std::vector<QString> shown;
    for (const std::string& name : names) {
        shown.push_back(languageDisplayName(m_services.files, m_session.languageFolder, name));
    }
    int match = -1;
    int inUse = -1;
    {
        const QSignalBlocker blocker(ui->Combo1);
        ui->Combo1->clear();
        for (std::size_t i = 0; i < names.size(); ++i) {
            // Two files that give the same name are told apart by their file names.
            QString label = shown[i];
            if (std::count(shown.begin(), shown.end(), shown[i]) > 1) {
                label += QStringLiteral(" (") + qtText(names[i]) + QLatin1Char(')');
            }
            ui->Combo1->addItem(label, qtText(names[i]));
            if (match < 0 && names[i] == saved) match = static_cast<int>(i);
            if (inUse < 0 && names[i] == m_session.languageName) inUse = static_cast<int>(i);
        }
        // Without an exact match the chooser shows the language in use.
        ui->Combo1->setCurrentIndex(inUse);
        m_languageIndex = inUse;
    }
    if (match >= 0) {
        ui->Combo1->setCurrentIndex(match);
        chooseLanguage(match);
    }
}

void MainWindow::saveSettings()
{
    platform::SettingsStore& settings = m_services.settings;
    settings.write(settings::kSection, settings::kOpenSimFolder, text(ui->Text8));
    settings.write(settings::kSection, settings::kRezX, text(ui->Text5));
    settings.write(settings::kSection, settings::kRezY, text(ui->Text6));
    settings.write(settings::kSection, settings::kRezZ, text(ui->Text7));
    settings.write(settings::kSection, settings::kOwnerUuid, text(ui->Text3));
    settings.write(settings::kSection, settings::kLastFolder, m_session.lastFolder);
    // With no entry chosen in the chooser, the language in use is kept, so the next start
    // does not ask again.
    const int index = ui->Combo1->currentIndex();
    settings.write(settings::kSection, settings::kLanguage,
                   index >= 0 ? ui->Combo1->itemData(index).toString().toStdString() : m_session.languageName);
    settings.write(settings::kSection, settings::kLinkObjects, ui->LinkObjects->isChecked() ? "1" : "0");
    settings.write(settings::kSection, settings::kOutputFormat, ui->OutputFormat->currentData().toString().toStdString());
    m_settingsSaved = true;
}

void MainWindow::chooseLanguage(int index)
{
    if (index < 0) return;
    if (loadLanguage(ui->Combo1->itemData(index).toString().toStdString())) {
        m_languageIndex = index;
        return;
    }
    const QSignalBlocker blocker(ui->Combo1);
    ui->Combo1->setCurrentIndex(m_languageIndex);
}

void MainWindow::loadListing()
{
    m_session.lastFolder = withTrailingSeparator(m_session.lastFolder);
    const auto chosen = m_services.dialogs.openFile(
        {"", m_session.lastFolder, "*.txt", listingFilter(m_session.language), false});
    if (!chosen) return;
    m_session.lastFolder = folderOfChosenFile(chosen->path, chosen->title);
    if (!m_services.files.exists(chosen->path)) return;
    loadListingFile(chosen->path, chosen->title);
}

void MainWindow::loadListingFile(const std::string& path, const std::string& title)
{
    if (m_converting) return;
    std::string reason;
    auto listing = convert::loadListingFile(m_services.files, path, &reason);
    if (!listing) {
        m_services.messages.showMessage(fillIn(m_session.language.entry(entry::kListingUnreadable), {path, reason}));
        return;
    }
    setListingText(std::move(*listing));
    m_session.listingName = convert::listingNameOf(title);
}

void MainWindow::showBrowseChoices()
{
    m_browseMenu->popup(ui->Command5->mapToGlobal(QPoint(0, ui->Command5->height())));
}

void MainWindow::chooseOpenSimServer()
{
    const auto chosen = m_services.dialogs.openFile(
        {"", m_session.lastFolder, kOpenSimExecutable, openSimFilter(m_session.language), false});
    if (!chosen) return;
    platform::FileSystem& files = m_services.files;
    if (files.isDirectory(chosen->path)) {
        // A folder is taken when it holds the server, as OpenSim.exe or, on .NET, OpenSim.dll.
        const std::string folder = withTrailingSeparator(chosen->path);
        if (files.exists(folder + kOpenSimExecutable) || files.exists(folder + kOpenSimLibrary)) {
            ui->Text8->setText(qtText(folder));
        }
        return;
    }
    ui->Text8->setText(qtText(text::removeAll(chosen->path, chosen->title)));
}

void MainWindow::chooseOpenSimFolder()
{
    // The folder dialog opens on the OpenSim folder in use, while there is one.
    const std::string current = text(ui->Text8);
    const std::string start = m_services.files.isDirectory(outputFolderOf(current)) ? current : m_session.lastFolder;
    const auto chosen = m_services.dialogs.chooseFolder(
        {m_session.language.entry(entry::kBrowseFolderTitle), start, "", "", false});
    if (!chosen) return;
    ui->Text8->setText(qtText(withTrailingSeparator(chosen->path)));
}

void MainWindow::clearPlaceholder()
{
    if (m_converting || listingText() != m_session.language.entry(entry::kListingPlaceholder)) return;
    ui->Text1->clear();
    m_session.listingName = kPlaceholderListingName;
}

// RewriteRegionHosts: the host follows from the button selected after the click.
void MainWindow::rewriteRegionHosts()
{
    const int chosen = ui->Option->checkedId();
    const std::string host = chosen == 0 ? std::string(regions::kLocalHost) : m_session.publicAddress;
    const regions::RegionHostsReport report =
        regions::rewriteRegionHosts(m_services.files, regions::regionsFolderOf(text(ui->Text8)), host);
    // The buttons show the host the region files announce: a run that gave no file that host
    // (refused, or every file failed) puts the earlier choice back.
    const bool noneGiven = report.count(regions::RegionFileOutcome::Rewritten) == 0 &&
                           report.count(regions::RegionFileOutcome::Unchanged) == 0 && report.anyFailed();
    if (report && !noneGiven) {
        m_hostChoice = chosen;
    } else {
        showHostChoice(m_hostChoice);
    }
    const RegionHostsMessage message = regionHostsMessage(m_session.language, report);
    m_services.messages.showMessage(message.text, platform::kApplicationTitle, message.icon);
}

void MainWindow::showHostChoice(int id)
{
    if (QAbstractButton* button = ui->Option->button(id)) {
        button->setChecked(true);
        return;
    }
    // Neither: an exclusive group cannot uncheck its last button.
    ui->Option->setExclusive(false);
    for (QAbstractButton* button : ui->Option->buttons()) button->setChecked(false);
    ui->Option->setExclusive(true);
}

std::string MainWindow::listingText() const { return crLfText(ui->Text1->document()->toRawText()); }

void MainWindow::setListingText(const std::string& crLfText)
{
    ui->Text1->setPlainText(qtText(crLfText));
}

bool MainWindow::listingHoldsNoPrims() const
{
    // The scan ends at the first character that is not blank.
    const QString listing = ui->Text1->document()->toRawText();
    const bool blank = std::all_of(listing.cbegin(), listing.cend(), [](QChar c) { return c.isSpace(); });
    return blank || listing == qtText(m_session.language.entry(entry::kListingPlaceholder));
}

void MainWindow::generateScene()
{
    // The name and overwrite questions run nested event loops: a click arriving meanwhile,
    // or during the run, starts nothing.
    if (m_converting || !m_runner) return;
    const LanguageTable& texts = m_session.language;
    // A listing or a field that no run can take is named before any question.
    if (listingHoldsNoPrims()) {
        m_services.messages.showMessage(texts.entry(entry::kListingHoldsNoPrims));
        return;
    }
    convert::ConversionRequest request;
    request.rezX = text(ui->Text5);
    request.rezY = text(ui->Text6);
    request.rezZ = text(ui->Text7);
    request.ownerUuid = text(ui->Text3);
    request.localIdCounter = m_localIdCounter;
    request.outputFolder = outputFolderOf(text(ui->Text8));
    if (const auto field = convert::firstInvalidField(request)) {
        m_services.messages.showMessage(invalidFieldMessage(texts, *field, request));
        return;
    }
    m_converting = true;
    ConversionQuestions questions(texts, m_services.input, m_services.messages);
    request.outputName = questions.askOutputName(m_session.listingName);
    if (request.outputName.empty()) {
        m_converting = false;
        return;
    }
    m_session.listingName = request.outputName + ".xml";
    request.linkObjects = ui->LinkObjects->isChecked();
    if (ui->OutputFormat->currentIndex() == 1) {
        request.format = convert::OutputFormat::RegionArchive;
        request.createdAt = m_services.clock.secondsSinceEpoch();
    }
    // Only an output file the user agreed to replace is replaced: one that comes after the
    // question (or after the name was found free) ends the run with nothing written.
    if (m_services.files.exists(convert::outputPathOf(request))) {
        if (!questions.confirmOverwrite()) {
            m_converting = false;
            return;
        }
        request.replaceExisting = true;
    }
    startRun(std::move(request));
}

void MainWindow::startRun(convert::ConversionRequest request)
{
    m_run = std::make_unique<Run>();
    m_run->listing = ui->Text1->document()->toRawText();
    m_run->request = std::move(request);
    m_run->thread.reset(QThread::create(
        [run = m_run.get(), runner = m_runner, &files = m_services.files, &random = m_services.random] {
            run->execute(runner, files, random);
        }));
    connect(m_run->thread.get(), &QThread::finished, this, &MainWindow::finishRun, Qt::QueuedConnection);
    setRunning(true);
    m_run->thread->start();
}

void MainWindow::setRunning(bool running)
{
    if (running) {
        m_disabledForRun.clear();
        for (QWidget* control : std::initializer_list<QWidget*>{
                 ui->Text5, ui->Text6, ui->Text7, ui->Text8, ui->Text3, ui->Command5, ui->Command2, ui->Command1,
                 ui->Option0, ui->Option1, ui->Combo1, ui->LinkObjects, ui->OutputFormat}) {
            if (!control->isEnabled()) continue;
            control->setEnabled(false);
            m_disabledForRun.emplace_back(control);
        }
        ui->Progress->setValue(0);
        ui->CancelRun->setEnabled(true);
        m_progressTimer->start();
    } else {
        m_progressTimer->stop();
        for (const QPointer<QWidget>& control : m_disabledForRun) {
            if (control) control->setEnabled(true);
        }
        m_disabledForRun.clear();
    }
    // The listing box stays readable and scrollable, but takes no typing, drop or placeholder click.
    ui->Text1->setReadOnly(running);
    ui->Progress->setVisible(running);
    ui->CancelRun->setVisible(running);
}

void MainWindow::showProgress()
{
    const std::size_t total = m_run ? m_run->control.bytesTotal.load() : 0;
    if (total == 0) return;
    const std::size_t done = m_run->control.bytesConsumed.load();
    ui->Progress->setValue(static_cast<int>(static_cast<double>(done) / static_cast<double>(total) *
                                            ui->Progress->maximum()));
}

void MainWindow::stopRun()
{
    if (!m_run) return;
    m_run->control.stopRequested = true;
    ui->CancelRun->setEnabled(false);
}

void MainWindow::finishRun()
{
    if (!m_run) return;
    m_run->thread->wait();
    const std::unique_ptr<Run> run = std::move(m_run);
    setRunning(false);

    const LanguageTable& texts = m_session.language;
    std::optional<std::string> message;
    if (run->report && run->report->failedWith(convert::ConversionError::Stopped)) {
        // Stopped to quit: the window goes without a word.
        if (!m_closeRequested) message = texts.entry(entry::kRunCancelled);
    } else if (run->report) {
        const convert::ConversionReport& report = *run->report;
        if (!report.failedWith(convert::ConversionError::Cancelled)) {
            if (!report.listingName.empty()) m_session.listingName = report.listingName;
            if (!report.localIdCounter.empty()) m_localIdCounter = report.localIdCounter;
        }
        // Only a run that wrote its files takes the listing out of the box; after any other
        // the box holds exactly what it held before.
        if (report) setListingText(report.remainingListing);
        message = conversionMessage(texts, report, run->request);
    } else {
        message = fillIn(texts.entry(entry::kRunFailed), {run->failure});
    }
    if (message) m_services.messages.showMessage(*message);
    m_converting = false;
    if (m_closeRequested) close();
}

void MainWindow::showExtractor()
{
    if (!m_extractor) {
        m_extractor = std::make_unique<ExtractorWindow>(
            m_session,
            ExtractorServices{m_services.files, m_services.dialogs, m_services.messages, m_services.clock});
        // Once closed, the window is let go at once and deleted when its close has been handled.
        connect(m_extractor.get(), &ExtractorWindow::closed, this, [this] { m_extractor.release()->deleteLater(); });
        // The load sequence asks for the scene file before the window is first shown.
        m_extractor->open();
    }
    m_extractor->show();
    m_extractor->raise();
    m_extractor->activateWindow();
}

void MainWindow::showAbout()
{
    if (!m_about) {
        // A window of its own, kept above the main window and opened over its centre.
        m_about = new AboutWindow(m_revision, m_session.language, this);
        m_about->setAttribute(Qt::WA_DeleteOnClose);
        m_about->move(frameGeometry().center() - QPoint(m_about->width() / 2, m_about->height() / 2));
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_converting) {
        event->ignore();
        // While a question before the run is open, that question comes first; a run under
        // way is stopped only when the user says so, and the window closes once it ended.
        if (!m_run || m_closeRequested) return;
        if (!m_services.messages.askYesNo(m_session.language.entry(entry::kStopRunAndQuit))) return;
        if (m_run) {
            m_closeRequested = true;
            stopRun();
        } else {
            // The run ended while the question was open (its message was shown): close now,
            // once this close has returned.
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
        return;
    }
    if (!m_settingsSaved) saveSettings();
    // An open About window stays when the main window closes: it becomes a window of its own.
    if (m_about && m_about->isVisible()) {
        const QPoint where = m_about->pos();
        m_about->setParent(nullptr, Qt::Window);
        m_about->move(where);
        m_about->show();
    }
    event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui->Text1->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            clearPlaceholder();
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (acceptsDrop(drag->mimeData())) {
                drag->acceptProposedAction();
                return true;
            }
            break;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (acceptsDrop(drop->mimeData())) {
                dropListing(drop->mimeData());
                drop->acceptProposedAction();
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool MainWindow::acceptsDrop(const QMimeData* mime) const
{
    if (m_converting || mime == nullptr || !mime->hasUrls()) return false;
    const QList<QUrl> urls = mime->urls();
    return !urls.isEmpty() && urls.front().isLocalFile();
}

void MainWindow::dropListing(const QMimeData* mime)
{
    const QFileInfo file(mime->urls().front().toLocalFile());
    const std::string path = file.filePath().toStdString();
    const std::string title = file.fileName().toStdString();
    m_session.lastFolder = withTrailingSeparator(file.path().toStdString());
    if (!m_services.files.exists(path)) return;
    loadListingFile(path, title);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (acceptsDrop(event->mimeData())) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    if (!acceptsDrop(event->mimeData())) return;
    dropListing(event->mimeData());
    event->acceptProposedAction();
}

}  // namespace vantor::app
