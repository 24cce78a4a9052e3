#pragma once

#include "app/session.h"
#include "extract/scene_load.h"
#include "extract/selection.h"
#include "extract/selection_export.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/message_box.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class QThread;

namespace Ui {
class Form2;
}

namespace vantor::app {

class RegionMap;

// What the extractor window is handed; none of it is owned by the window.
struct ExtractorServices {
    platform::FileSystem& files;
    platform::Dialogs& dialogs;
    platform::MessageBox& messages;
    const platform::Clock& clock;
};

// The open dialog's filter (scene files and region archives) and the save dialog's, with the
// language's descriptions.
[[nodiscard]] std::string sceneOpenFilter(const language::LanguageTable& texts);
[[nodiscard]] std::string sceneSaveFilter(const language::LanguageTable& texts);
// Scene files larger than this load on a worker thread, with a progress bar and Cancel; so
// are tables of objects that hold more text than this saved.
inline constexpr std::uint64_t kBackgroundLoadBytes = 20'000'000;

// The message of a scene file that cannot be read: entry 36, then what was found where (after
// entry 37 where choosing another scene file helps).
[[nodiscard]] std::string sceneReadErrorMessage(const language::LanguageTable& texts, const extract::SceneLoad& load);
// The message of a failed export: which file or which object, and why. cutOffLine is the line
// at which the load stopped at a cut-off object (0 when it did not, or has no lines).
[[nodiscard]] std::string exportFailureMessage(const language::LanguageTable& texts, const extract::ExportReport& report,
                                               std::size_t cutOffLine = 0);

// The extractor window Form2: the region map Frame1 with one mark per object of a scene file
// (the window's title names the file),
// the rectangle drawn with the mouse, "Extraire" (Command1), "Tout selectionner" (Command2),
// "Save xml/txt " (Command3), "Charger XML" (Command4) and "Inverse" (Check1). The window
// gathers and presents; loading, filtering and saving are the extractor engine's. Escape
// closes it; Enter presses the focused button.
class ExtractorWindow final : public QWidget {
    Q_OBJECT
public:
    ExtractorWindow(Session& session, const ExtractorServices& services, QWidget* parent = nullptr);
    ~ExtractorWindow() override;

    // The load sequence that runs before the window is first shown: captions, the open
    // dialog, the table and its marks; or, without a file or after a read error, the
    // deferred close (Timer1).
    void open();
    // Loads a scene file as "Charger XML" does after its dialog (also for a dropped file).
    void loadScene(const std::string& path);

    // Scene files from this size on load on a worker thread; tables holding this much text save on one.
    void setBackgroundLoadBytes(std::uint64_t bytes) { m_backgroundLoadBytes = bytes; }
    void setBackgroundSaveBytes(std::uint64_t bytes) { m_backgroundSaveBytes = bytes; }

    [[nodiscard]] const extract::SceneSelection& selection() const { return m_selection; }
    [[nodiscard]] const std::string& scenePath() const { return m_scenePath; }
    [[nodiscard]] bool isLoading() const { return m_loadThread != nullptr; }
    [[nodiscard]] bool isSaving() const { return m_saveThread != nullptr; }
    [[nodiscard]] RegionMap* regionMap() const;
    // The status line under the map.
    [[nodiscard]] QString statusText() const;

signals:
    // A load (on the worker thread or not) has ended, whatever its outcome.
    void loadFinished();
    // A save (on the worker thread or not) has ended, whatever its outcome.
    void saveFinished();
    // The window was closed: Escape, its title bar, or the deferred close.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void applyCaptions();
    void showTitle();
    void reload();
    void extractSelection();
    void selectWholeMap();
    void saveSelection();
    void cancelWork();
    void cancelLoad();
    void startBackgroundLoad(const std::string& path);
    void finishLoad(extract::SceneLoad load, const std::string& path);
    void startBackgroundSave();
    void finishSave(const extract::ExportReport& report);
    [[nodiscard]] bool isBusy() const { return isLoading() || isSaving(); }
    [[nodiscard]] platform::MessageBox& messages() const;
    void closeDeferred();
    void setBusy(bool busy);
    void showCounts();
    void showPointer(double xMetres, double yMetres);
    [[nodiscard]] QString describeMarker(std::size_t k) const;
    // Where the load shown stopped at a cut-off object: entry withLine (line, object), or for
    // an archive's object, which has no line, entry withoutLine (object).
    [[nodiscard]] std::string cutOffNote(std::size_t withLine, std::size_t withoutLine) const;
    [[nodiscard]] QString text(std::size_t entry) const;

    std::unique_ptr<Ui::Form2> ui;
    Session& m_session;
    ExtractorServices m_services;
    extract::SceneSelection m_selection;
    std::vector<extract::ObjectPosition> m_positions;  // of the table's entries with a mark
    std::string m_scenePath;                           // ScenePath
    std::string m_loadedName;                          // the name of the file last loaded, for the title
    std::string m_shownPath;                           // the scene file whose table the map shows
    bool m_mapShown = false;                           // a load has given the map a table
    std::size_t m_cutOffLine = 0;                      // where the load shown stopped at a cut-off line,
    std::size_t m_cutOffObject = 0;                    // 0 when it did not
    std::size_t m_fileObjects = 0;                     // objects in the file last loaded
    QString m_note;                                    // said after the counts until the next change
    QString m_pointer;                                 // the pointer's position, while over the map
    QTimer* m_timer1 = nullptr;                        // the deferred close; owned by this
    std::uint64_t m_backgroundLoadBytes = kBackgroundLoadBytes;
    std::uint64_t m_backgroundSaveBytes = kBackgroundLoadBytes;
    QThread* m_loadThread = nullptr;                   // the worker of the load wanted, while it runs
    QThread* m_saveThread = nullptr;                   // the worker of a save, while it runs
    std::shared_ptr<std::atomic<bool>> m_stopSave;     // asks the save under way to stop
    std::unique_ptr<platform::MessageBox> m_ownMessages;  // boxes over this window, when the services' are Qt's
};

}  // namespace vantor::app
