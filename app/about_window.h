#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class Apropos;
}

namespace vantor::app {

// The About window Apropos: the version line in the frame's caption, above a picture. It is
// a window of its own even with a parent, which keeps it above that window.
class AboutWindow final : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(int revision, QWidget* parent = nullptr);
    ~AboutWindow() override;

private:
    std::unique_ptr<Ui::Apropos> ui;
};

}  // namespace vantor::app
