#pragma once

#include "platform/dialogs.h"
#include "platform/input_box.h"
#include "platform/message_box.h"

#include <QString>

class QWidget;

#include <string>

namespace vantor::app {

// A filter of description and pattern pairs joined by "|" ("Files txt(*.txt)|*.txt") in the
// form Qt's file dialogs take ("Files txt (*.txt)", pairs joined by ";;"); a pattern in
// brackets at the end of a description is left out, as the dialog shows the pattern.
[[nodiscard]] QString toQtFilter(const std::string& filter);

// The ending a save dialog adds to a name typed without one, after the filter chosen in Qt's
// form ("Region archive (*.oar)" gives "oar"); none for a filter of several patterns or a
// pattern that is no "*.ENDING".
[[nodiscard]] QString defaultSuffixOf(const QString& qtFilter);

// Message texts join lines with CR LF; Qt's boxes break lines at LF.
[[nodiscard]] QString toDisplayText(const std::string& text);

// The platform dialogs as Qt Widgets dialogs, parented to the active window.
class WidgetDialogs final : public platform::Dialogs {
public:
    std::optional<platform::ChosenFile> openFile(const platform::FileDialogRequest& request) override;
    std::optional<platform::ChosenFile> saveFile(const platform::FileDialogRequest& request) override;
    // The folder dialog shows the files too, so the user sees OpenSim.exe in the folder.
    std::optional<platform::ChosenFile> chooseFolder(const platform::FileDialogRequest& request) override;
};

// Message boxes over the window of owner, or over the active window when there is none.
class WidgetMessageBox final : public platform::MessageBox {
public:
    explicit WidgetMessageBox(QWidget* owner = nullptr) : m_owner(owner) {}
    void showMessage(const std::string& text, const std::string& title, platform::MessageIcon icon) override;
    bool askYesNo(const std::string& text, const std::string& title) override;

private:
    [[nodiscard]] QWidget* parent() const;

    QWidget* m_owner = nullptr;  // not owned
};

class WidgetInputBox final : public platform::InputBox {
public:
    std::optional<std::string> ask(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) override;
};

}  // namespace vantor::app
