#include "app/about_window.h"

#include "app/artwork.h"
#include "app/shell_texts.h"
#include "ui_about_window.h"

namespace vantor::app {

AboutWindow::AboutWindow(int revision, QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::Apropos>())
{
    ui->setupUi(this);
    setFixedSize(size());
    ui->Frame1->setTitle(QString::fromStdString(versionLine(revision)));
    ui->Image1->setPixmap(drawAboutPicture(ui->Image1->size(), devicePixelRatioF()));
}

AboutWindow::~AboutWindow() = default;

}  // namespace vantor::app
