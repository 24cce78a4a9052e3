#pragma once

#include "app/conversion_host.h"
#include "app/session.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/input_box.h"
#include "platform/message_box.h"
#include "platform/random_source.h"
#include "platform/settings_store.h"

#include <QPointer>
#include <QSize>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QMenu;
class QMimeData;
class QTimer;
class QTranslator;

namespace Ui {
class Form1;
}

namespace vantor::app {

class AboutWindow;
class ExtractorWindow;

// The services the windows are handed; none is owned by them.
struct AppServices {
    platform::FileSystem& files;
    platform::RandomSource& random;
    platform::Dialogs& dialogs;
    platform::MessageBox& messages;
    platform::InputBox& input;
    platform::SettingsStore& settings;
    const platform::Clock& clock;  // the listing's time stamps in the extractor window, an archive's time of making
};

// The main window Form1. Its controls carry the names Text1, Command1, Combo1, ...;
// the two region host choices are Option0 and Option1, grouped in the button group Option
// with ids 0 and 1. The language chooser Combo1 lists the languages by name, each entry
// holding its file name as data. "Parcourir" (Command5) offers two choices, the actions
// BrowseServer (OpenSim.exe or OpenSim.dll) and BrowseFolder (the folder itself). Enter
// presses the focused button. A conversion runs on a worker thread over a copy of the
// listing, with Progress and CancelRun shown and the controls that could change its input
// disabled.
class MainWindow final : public QWidget {
    Q_OBJECT
public:
    MainWindow(Session& session, const AppServices& services, ConversionRunner runner, int revision,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // LoadLanguage: reads the language file into the session's table and puts its texts
    // into the window (the placeholder replaces the listing); Qt's own texts (Yes, No, the
    // file dialogs) follow when Qt has them in that language. A file that cannot be read
    // keeps the language in use, says so and gives false.
    bool loadLanguage(const std::string& fileName);

    // The start-up's fill: the public address, the language chooser and the text boxes
    // from the settings.
    void fillFromSettings();

    // The shut-down: writes the settings back, in their fixed order.
    void saveSettings();

    // Loads a listing file into the listing box, as "Charger TXT" does after its dialog;
    // nothing while a run is under way.
    void loadListingFile(const std::string& path, const std::string& title);

    // The listing box's text with CR LF line ends, as the conversion run reads it.
    [[nodiscard]] std::string listingText() const;
    // The LocalID counter ("Serial Rez"); not persisted.
    [[nodiscard]] const std::string& localIdCounter() const { return m_localIdCounter; }
    // From the name question to the run's end message.
    [[nodiscard]] bool isConverting() const { return m_converting; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void loadListing();
    void showBrowseChoices();
    void chooseOpenSimServer();
    void chooseOpenSimFolder();
    void generateScene();
    void showExtractor();
    void showAbout();
    void chooseLanguage(int index);
    void clearPlaceholder();
    void rewriteRegionHosts();
    void showHostChoice(int id);
    void showPublicAddress();
    void fillLanguageChooser(const std::string& saved);
    void applyLanguageTexts();
    // Whether the listing box holds only blanks, or the placeholder text.
    [[nodiscard]] bool listingHoldsNoPrims() const;
    void startRun(convert::ConversionRequest request);
    void finishRun();
    void stopRun();
    void showProgress();
    void setRunning(bool running);
    void useQtTranslations(const std::string& languageName);
    void fitToCaptions();
    void setListingText(const std::string& crLfText);
    bool acceptsDrop(const QMimeData* mime) const;
    void dropListing(const QMimeData* mime);

    std::unique_ptr<Ui::Form1> ui;
    Session& m_session;
    AppServices m_services;
    ConversionRunner m_runner;
    int m_revision = 0;
    std::string m_localIdCounter = convert::kDefaultLocalIdCounter;  // Text4
    int m_languageIndex = -1;                  // Combo1's entry of the language in use
    int m_hostChoice = -1;                     // the option whose host the region files were last given
    bool m_addressShown = false;               // IP shows the public address (from the start-up's fill on)
    QSize m_designSize;                        // the size the window opens with, room allowing
    QMenu* m_browseMenu = nullptr;             // "Parcourir"'s two choices; owned by this (Qt parent)
    bool m_converting = false;
    bool m_closeRequested = false;
    bool m_settingsSaved = false;
    struct Run;
    std::unique_ptr<Run> m_run;                 // the run under way on its worker thread
    QTimer* m_progressTimer = nullptr;          // owned by this (Qt parent)
    std::vector<QPointer<QWidget>> m_disabledForRun;
    std::unique_ptr<QTranslator> m_qtTexts;     // installed while it holds a language
    QPointer<AboutWindow> m_about;                // a top-level window of its own
    // A top-level window of its own (no Qt parent), while it is open; it works on m_session.
    std::unique_ptr<ExtractorWindow> m_extractor;
};

}  // namespace vantor::app
