#pragma once

#include <QWidget>

#include <memory>

class QKeyEvent;

namespace Ui {
class Apropos;
}

namespace vantor::language {
class LanguageTable;
}  // namespace vantor::language

namespace vantor::app {

// The About window Apropos: the version line in the frame's caption, above a picture, and a
// close button (CloseButton); Escape closes it too. It is a window of its own even with a
// parent, which keeps it above that window. Its title and button take the language in use.
class AboutWindow final : public QWidget {
    Q_OBJECT
public:
    AboutWindow(int revision, const language::LanguageTable& texts, QWidget* parent = nullptr);
    ~AboutWindow() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<Ui::Apropos> ui;
};

}  // namespace vantor::app
