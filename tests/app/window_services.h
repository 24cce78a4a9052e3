#pragma once

#include "app/main_window.h"
#include "fake_app_services.h"
#include "testing/fake_platform.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <QThread>

#include <chrono>
#include <functional>
#include <string>

// Everything a window test hands the main window, as fakes, and the services made of them.
namespace vantor::test {

// One QApplication (offscreen) for the program, never destroyed: tearing it down among the
// other static objects at exit crashes inside Qt. The start-up makes the main window's
// closing end the program; no test may quit.
inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "vantor_window_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

// Lets events through, deferred deletions included, until done says so or the time is up;
// gives done's last answer.
inline bool runEvents(std::chrono::milliseconds upTo, const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < upTo.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(1);
    }
    return done();
}

// The child of that name, which a test expects to be there.
template <typename T = QWidget>
T* childOf(const QObject& parent, const char* name)
{
    T* found = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

inline void sendKey(QWidget* target, Qt::Key key, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(target, &press);
}

// Drags the file onto the target and drops it there; says whether the target took the drag.
inline bool dropFile(QWidget* target, const std::string& path)
{
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return enter.isAccepted();
}

struct FakeWindowServices {
    FakeFileSystem files;
    FakeRandom random;
    FakeDialogs dialogs;
    FakeMessageBox messages;
    FakeInputBox input;
    FakeSettings settings;
    FakeClock clock;
    app::AppServices services{files, random, dialogs, messages, input, settings, clock};
};

}  // namespace vantor::test
