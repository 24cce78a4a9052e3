#include "app/window_keys.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace vantor::app {

namespace {

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

}  // namespace vantor::app
