#pragma once

#include <QWidget>

class QLabel;

namespace vantor::app {

// The start-up window Splash: a picture the program draws, shown while the start-up
// settles the language and looks up the public address.
class SplashWindow final : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget* parent = nullptr);

private:
    QLabel* m_image = nullptr;  // Image1, owned by this (Qt parent)
};

}  // namespace vantor::app
