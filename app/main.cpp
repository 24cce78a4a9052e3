#include "language/language_folder.h"
#include "app/session.h"
#include "app/startup.h"
#include "app/widget_dialogs.h"
#include "convert/conversion_run.h"
#include "platform/qt/qt_public_address_lookup.h"
#include "platform/qt/qt_settings_store.h"
#include "platform/std_platform.h"

#include <QApplication>
#include <QIcon>

#include <string>

int main(int argc, char* argv[])
{
    using namespace vantor;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantor"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3").arg(VANTOR_VERSION_MAJOR).arg(VANTOR_VERSION_MINOR).arg(VANTOR_REVISION));
    QApplication::setDesktopFileName(QStringLiteral("org.vantor.Vantor"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.vantor.Vantor")));
    // Until the main window is up, the language box and the start-up window come and go alone.
    QApplication::setQuitOnLastWindowClosed(false);

    platform::StdFileSystem files;
    platform::StdRandomSource random;
    app::WidgetDialogs dialogs;
    app::WidgetMessageBox messages;
    app::WidgetInputBox input;
    platform::qt::QtSettingsStore settings;
    platform::qt::QtPublicAddressLookup lookup(
        platform::qt::QtPublicAddressLookup::serviceUrl(qgetenv("VANTOR_PUBLIC_ADDRESS_URL")));

    app::Session session;
    session.programFolder = QApplication::applicationDirPath().toStdString();
    // Installed, the language files sit in share/vantor/lang beside bin/, wherever the tree was put.
    const std::string dataFolders[] = {VANTOR_LANGUAGE_DATA_RELATIVE_DIR, VANTOR_LANGUAGE_DATA_DIR};
    session.languageFolder = language::chooseLanguageFolder(files, session.programFolder, dataFolders);

    const platform::StdClock clock;
    const app::AppServices services{files, random, dialogs, messages, input, settings, clock};
    app::Startup startup(session, services, lookup, &convert::runConversion, VANTOR_REVISION);
    if (!startup.begin()) return 0;
    return QApplication::exec();
}
