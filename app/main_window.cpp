#include "app/main_window.h"

#include "app/about_window.h"
#include "app/extractor_window.h"
#include "app/region_hosts.h"
#include "app/region_texts.h"
#include "app/settings_keys.h"
#include "app/shell_texts.h"
#include "convert/text_codec.h"
#include "platform/std_platform.h"
#include "ui_main_window.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTextDocument>
#include <QUrl>

#include <utility>

namespace vantor::app {

namespace {

// Events are let through at most this often during a run, so a long listing is not slowed.
constexpr qint64 kEventIntervalMs = 20;

std::string text(const QLineEdit* box) { return box->text().toStdString(); }

QString qtText(const std::string& value) { return QString::fromStdString(value); }

// The folder the conversion writes into: the OpenSim folder without its trailing separator,
// since the run puts one between folder and name.
std::string outputFolderOf(std::string folder)
{
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

}  // namespace

MainWindow::MainWindow(Session& session, const AppServices& services, ConversionRunner runner, int revision,
                       QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::Form1>()), m_session(session), m_services(services),
      m_runner(std::move(runner)), m_revision(revision)
{
    ui->setupUi(this);
    // The layout is designed for a narrow 8-point interface font; wider ones would clip
    // captions such as "Chemin OS :", so a condensed face is preferred where one is installed.
    QFont designFont = font();
    designFont.setPointSizeF(8);
    designFont.setStretch(QFont::SemiCondensed);
    setFont(designFont);
    setFixedSize(size());
    ui->Option->setId(ui->Option0, 0);
    ui->Option->setId(ui->Option1, 1);
    ui->Combo1->setEditText(QStringLiteral("Combo1"));
    m_languageText = ui->Combo1->currentText();
    ui->Progress->hide();
    ui->Text1->viewport()->installEventFilter(this);

    connect(ui->Command2, &QPushButton::clicked, this, &MainWindow::loadListing);
    connect(ui->Command5, &QPushButton::clicked, this, &MainWindow::chooseOpenSimFolder);
    connect(ui->Command1, &QPushButton::clicked, this, &MainWindow::generateScene);
    connect(ui->Command4, &QPushButton::clicked, this, &MainWindow::showExtractor);
    connect(ui->Command7, &QPushButton::clicked, this, &MainWindow::showAbout);
    connect(ui->Combo1, &QComboBox::activated, this, &MainWindow::chooseLanguage);
    connect(ui->Option, &QButtonGroup::idClicked, this, &MainWindow::rewriteRegionHosts);
}

MainWindow::~MainWindow()
{
    delete m_about;
    delete m_extractor;
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
    applyLanguageTexts();
    return true;
}

void MainWindow::applyLanguageTexts()
{
    const LanguageTable& texts = m_session.language;
    ui->Label5->setText(qtText(texts.entry(entry::kRezPositionLabel)));
    ui->Label6->setText(qtText(texts.entry(entry::kOpenSimFolderLabel)));
    ui->Command5->setText(qtText(texts.entry(entry::kBrowseButton)));
    ui->Command2->setText(qtText(texts.entry(entry::kLoadTxtButton)));
    ui->Command1->setText(qtText(texts.entry(entry::kGenerateButton)));
    ui->Command4->setText(qtText(texts.entry(entry::kLoadXmlButton)));
    ui->Command7->setText(qtText(texts.entry(entry::kAboutButton)));
    ui->Text1->setPlainText(qtText(texts.entry(entry::kListingPlaceholder)));
}

void MainWindow::fillFromSettings()
{
    platform::SettingsStore& settings = m_services.settings;
    ui->IP->setText(qtText(m_session.publicAddress));
    if (m_session.publicAddress == kOffline) ui->Option1->setEnabled(false);

    const std::string saved = settings.read(settings::kSection, settings::kLanguage, settings::kDefaultLanguageAtFill);
    const auto names = m_services.files.listFiles(m_session.languageFolder, ".lng");
    int match = -1;
    {
        const QSignalBlocker blocker(ui->Combo1);
        ui->Combo1->clear();
        for (std::size_t i = 0; i < names.size(); ++i) {
            ui->Combo1->addItem(qtText(names[i]));
            if (match < 0 && names[i] == saved) match = static_cast<int>(i);
        }
        ui->Combo1->setCurrentIndex(-1);
        ui->Combo1->setEditText(m_languageText);
    }
    if (match >= 0) {
        ui->Combo1->setCurrentIndex(match);
        chooseLanguage(match);
    }

    ui->Text8->setText(qtText(settings.read(settings::kSection, settings::kOpenSimFolder,
                                            withTrailingSeparator(m_session.programFolder))));
    ui->Text5->setText(qtText(settings.read(settings::kSection, settings::kRezX, settings::kDefaultRezX)));
    ui->Text6->setText(qtText(settings.read(settings::kSection, settings::kRezY, settings::kDefaultRezY)));
    ui->Text7->setText(qtText(settings.read(settings::kSection, settings::kRezZ, settings::kDefaultRezZ)));
    ui->Text3->setText(qtText(settings.read(settings::kSection, settings::kOwnerUuid, settings::kDefaultOwnerUuid)));
    for (QLineEdit* box : {ui->Text8, ui->Text5, ui->Text6, ui->Text7, ui->Text3}) box->setCursorPosition(0);
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
                   index >= 0 ? ui->Combo1->itemText(index).toStdString() : m_session.languageName);
    m_settingsSaved = true;
}

void MainWindow::chooseLanguage(int index)
{
    if (index < 0) return;
    if (loadLanguage(ui->Combo1->itemText(index).toStdString())) {
        m_languageIndex = index;
        return;
    }
    const QSignalBlocker blocker(ui->Combo1);
    ui->Combo1->setCurrentIndex(m_languageIndex);
    if (m_languageIndex < 0) ui->Combo1->setEditText(m_languageText);
}

void MainWindow::loadListing()
{
    m_session.lastFolder = withTrailingSeparator(m_session.lastFolder);
    const auto chosen = m_services.dialogs.openFile(
        {"", m_session.lastFolder, "*.txt", kListingFilter, false});
    if (!chosen) return;
    m_session.lastFolder = folderOfChosenFile(chosen->path, chosen->title);
    if (!m_services.files.exists(chosen->path)) return;
    loadListingFile(chosen->path, chosen->title);
}

void MainWindow::loadListingFile(const std::string& path, const std::string& title)
{
    std::string reason;
    auto bytes = m_services.files.readAll(path, &reason);
    if (!bytes) {
        m_services.messages.showMessage("The file " + path + " cannot be read: " + reason + "." + kCrLf +
                                        "Le fichier " + path + " ne peut pas être lu : " + reason + ".");
        return;
    }
    setListingText(convert::toCrLfLines(convert::decodeText(std::move(*bytes))));
    m_session.listingName = listingNameFromTitle(title);
}

void MainWindow::chooseOpenSimFolder()
{
    const auto chosen = m_services.dialogs.openFile(
        {"", m_session.lastFolder, kOpenSimExecutable, kOpenSimFilter, false});
    if (!chosen) return;
    ui->Text8->setText(qtText(removeAll(chosen->path, chosen->title)));
}

void MainWindow::clearPlaceholder()
{
    if (listingText() != m_session.language.entry(entry::kListingPlaceholder)) return;
    ui->Text1->clear();
    m_session.listingName = kPlaceholderListingName;
}

// RewriteRegionHosts: the host follows from the button selected after the click.
void MainWindow::rewriteRegionHosts()
{
    const std::string host = ui->Option0->isChecked() ? std::string(kLocalHost) : m_session.publicAddress;
    const RegionHostsReport report =
        app::rewriteRegionHosts(m_services.files, regionsFolderOf(text(ui->Text8)), host);
    const RegionHostsMessage message = regionHostsMessage(m_session.language, report);
    m_services.messages.showMessage(message.text, platform::kApplicationTitle, message.icon);
}

std::string MainWindow::listingText() const
{
    // The raw text keeps every character as typed (the plain-text form would turn
    // non-breaking spaces into blanks); blocks are separated by U+2029.
    QString listing = ui->Text1->document()->toRawText();
    listing.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    listing.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return listing.toStdString();
}

void MainWindow::setListingText(const std::string& crLfText)
{
    ui->Text1->setPlainText(qtText(crLfText));
}

void MainWindow::generateScene()
{
    // A click that arrives while a run lets events through is ignored.
    if (m_converting || !m_runner) return;
    m_converting = true;
    ui->Text1->setReadOnly(true);
    ui->Progress->setValue(0);
    ui->Progress->show();
    m_progressClock.start();

    const convert::ConversionRequest request{
        listingText(), text(ui->Text5), text(ui->Text6), text(ui->Text7), text(ui->Text3),
        m_localIdCounter, outputFolderOf(text(ui->Text8)), m_session.listingName};
    WindowConversionHost host(m_session.language, m_services.input, m_services.messages,
                              [this](const convert::ConversionProgress& progress) { showProgress(progress); });
    const convert::ConversionReport report = m_runner(request, host, m_services.files, m_services.random);

    m_session.listingName = report.listingName;
    if (report.outcome != convert::ConversionOutcome::Cancelled) {
        if (!report.localIdCounter.empty()) m_localIdCounter = report.localIdCounter;
        setListingText(report.remainingListing);
    }
    ui->Progress->hide();
    ui->Text1->setReadOnly(false);
    if (const auto message = conversionMessage(m_session.language, report)) {
        m_services.messages.showMessage(*message);
    }
    m_converting = false;
    if (m_closeRequested) close();
}

void MainWindow::showProgress(const convert::ConversionProgress& progress)
{
    if (m_progressClock.elapsed() < kEventIntervalMs) return;
    m_progressClock.restart();
    if (progress.bytesTotal > 0) {
        ui->Progress->setValue(static_cast<int>(progress.bytesConsumed * 1000 / progress.bytesTotal));
    }
    QCoreApplication::processEvents();
}

void MainWindow::showExtractor()
{
    if (!m_extractor) {
        static const platform::StdClock clock;  // the listing's time stamps
        m_extractor = new ExtractorWindow(m_session, {m_services.files, m_services.dialogs, m_services.messages, clock});
        m_extractor->setAttribute(Qt::WA_DeleteOnClose);
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
        m_about = new AboutWindow(m_revision);
        m_about->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_converting) {
        // Closing in the middle of a run would pull the window from under it: close after it.
        m_closeRequested = true;
        event->ignore();
        return;
    }
    if (!m_settingsSaved) saveSettings();
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
