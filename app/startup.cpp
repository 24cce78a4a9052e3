#include "app/startup.h"

#include "app/language_step.h"
#include "app/settings_keys.h"
#include "app/shell_texts.h"
#include "app/splash_window.h"

#include <QGuiApplication>

namespace vantor::app {

Startup::Startup(Session& session, const AppServices& services, platform::PublicAddressLookup& lookup,
                 ConversionRunner runner, int revision, StartupTimings timings)
    : m_session(session), m_services(services), m_lookup(lookup), m_runner(std::move(runner)), m_revision(revision)
{
    m_timer1.setSingleShot(true);
    m_timer1.setInterval(timings.showMainWindow);
    m_timer3.setSingleShot(true);
    m_timer3.setInterval(timings.closeSplash);
    connect(&m_timer1, &QTimer::timeout, this, &Startup::showMainWindow);
    connect(&m_timer3, &QTimer::timeout, this, &Startup::closeSplash);
}

Startup::~Startup() = default;

bool Startup::begin()
{
    m_splash = std::make_unique<SplashWindow>();
    while (true) {
        const LanguageStepResult language =
            settleLanguage(m_services.settings, m_services.files, m_services.input, m_session.languageFolder);
        if (language.end == LanguageStepEnd::NoLanguageFile) {
            m_services.messages.showMessage(noLanguageFileMessage(m_session.languageFolder));
            return false;
        }
        if (language.end == LanguageStepEnd::Cancelled) return false;

        if (!m_main) m_main = std::make_unique<MainWindow>(m_session, m_services, m_runner, m_revision);
        if (m_main->loadLanguage(language.fileName)) break;
        // The file is there but cannot be read (said by loadLanguage): forget it and ask again.
        m_services.settings.write(settings::kSection, settings::kLanguage, "");
    }
    m_session.lastFolder = m_services.settings.read(settings::kSection, settings::kLastFolder, m_session.programFolder);

    m_splash->show();
    m_lookup.start([this](const std::optional<std::string>& address) { addressKnown(address); });
    return true;
}

void Startup::addressKnown(const std::optional<std::string>& address)
{
    m_session.publicAddress = address.value_or(kOffline);
    m_timer1.start();
}

void Startup::showMainWindow()
{
    m_main->show();
    m_main->fillFromSettings();
    // From here the main window is the one whose closing ends the program.
    QGuiApplication::setQuitOnLastWindowClosed(true);
    emit mainWindowShown();
    m_timer3.start();
}

void Startup::closeSplash()
{
    m_splash->close();
    emit splashClosed();
}

}  // namespace vantor::app
