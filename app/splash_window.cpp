#include "app/splash_window.h"

#include "app/artwork.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vantor::app {

namespace {
constexpr QSize kPictureSize(480, 300);
}

SplashWindow::SplashWindow(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("Splash"));
    setWindowTitle(QStringLiteral("Vantor"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_image = new QLabel(this);
    m_image->setObjectName(QStringLiteral("Image1"));
    m_image->setPixmap(drawSplashPicture(kPictureSize, devicePixelRatioF()));
    layout->addWidget(m_image);
    setFixedSize(kPictureSize);
}

}  // namespace vantor::app
