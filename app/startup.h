#pragma once

#include "app/conversion_host.h"
#include "app/main_window.h"
#include "app/session.h"
#include "platform/public_address_lookup.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>

namespace vantor::app {

class SplashWindow;

struct StartupTimings {
    std::chrono::milliseconds showMainWindow{2000};  // Timer1: after the address lookup ended
    std::chrono::milliseconds closeSplash{1};        // Timer3: after the main window is shown
};

// The program's start-up: Splash, the language step, LoadLanguage, LastFolder, the public
// address, then Timer1 fills and shows the main window and Timer3 closes Splash.
class Startup final : public QObject {
    Q_OBJECT
public:
    Startup(Session& session, const AppServices& services, platform::PublicAddressLookup& lookup,
            ConversionRunner runner, int revision, StartupTimings timings = {});
    ~Startup() override;

    // Runs the steps up to the address lookup; false when the program must end (the language
    // box was cancelled, or there is no language file, which is said).
    [[nodiscard]] bool begin();

    [[nodiscard]] MainWindow* mainWindow() const { return m_main.get(); }
    [[nodiscard]] SplashWindow* splash() const { return m_splash.get(); }

signals:
    void mainWindowShown();
    void splashClosed();

private:
    void addressKnown(const std::optional<std::string>& address);
    void showMainWindow();
    void closeSplash();

    Session& m_session;
    AppServices m_services;
    platform::PublicAddressLookup& m_lookup;
    ConversionRunner m_runner;
    int m_revision = 0;
    QTimer m_timer1;
    QTimer m_timer3;
    std::unique_ptr<SplashWindow> m_splash;
    std::unique_ptr<MainWindow> m_main;
};

}  // namespace vantor::app
