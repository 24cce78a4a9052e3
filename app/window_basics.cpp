#include "app/window_basics.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QScreen>
#include <QWidget>

namespace vantor::app {

namespace {

// Room a window leaves on screen for its title bar and frame.
constexpr QSize kFrameAllowance(16, 48);

// Outside dialogs, Qt's buttons take only the space bar; this lets Enter press them too.
class EnterPressesButton final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (!enter || modifiers != Qt::NoModifier || button == nullptr || !button->isEnabled()) {
            return QObject::eventFilter(watched, event);
        }
        button->click();
        return true;
    }
};

}  // namespace

void pressFocusedButtonOnEnter(QWidget& window)
{
    auto* filter = new EnterPressesButton(&window);
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) button->installEventFilter(filter);
}

void fitOnScreen(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (screen == nullptr) return;
    const QSize room = screen->availableGeometry().size() - kFrameAllowance;
    window.resize(window.size().boundedTo(room).expandedTo(window.minimumSize()));
}

}  // namespace vantor::app
