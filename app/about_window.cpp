#include "app/about_window.h"

#include "app/artwork.h"
#include "app/shell_texts.h"
#include "app/window_basics.h"
#include "language/language_table.h"
#include "ui_about_window.h"

#include <QKeyEvent>

#include <algorithm>

namespace vantor::app {

namespace entry = language::entry;
using language::LanguageTable;

AboutWindow::AboutWindow(int revision, const LanguageTable& texts, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::Apropos>())
{
    ui->setupUi(this);
    setWindowTitle(QString::fromStdString(texts.entry(entry::kAboutWindowTitle)));
    ui->CloseButton->setText(QString::fromStdString(texts.entry(entry::kAboutClose)));
    // The button sits at the bottom right under the frame, as wide as its caption needs.
    const int width = std::max(ui->CloseButton->sizeHint().width(), ui->CloseButton->width());
    ui->CloseButton->setGeometry(ui->Frame1->geometry().right() + 1 - width, ui->CloseButton->y(), width,
                                 ui->CloseButton->height());
    setFixedSize(size());
    ui->Frame1->setTitle(QString::fromStdString(versionLine(revision)));
    ui->Image1->setPixmap(drawAboutPicture(ui->Image1->size(), devicePixelRatioF()));
    connect(ui->CloseButton, &QPushButton::clicked, this, &QWidget::close);
    pressFocusedButtonOnEnter(*this);
    ui->CloseButton->setFocus();
}

AboutWindow::~AboutWindow() = default;

void AboutWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace vantor::app
