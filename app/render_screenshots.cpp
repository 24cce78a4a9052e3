// Renders the start-up, main, About and extractor windows offscreen to PNG files, for the README:
//   QT_QPA_PLATFORM=offscreen vantor-screenshots OUTPUT_FOLDER LANGUAGE_FILE [LANGUAGE_FILE...]
// The first language gives main-window.png, each further one main-window-xx.png (xx its
// name in lower case). With QT_SCALE_FACTOR=2 every name ends in "@2x".
#include "app/about_window.h"
#include "app/extractor_window.h"
#include "app/main_window.h"
#include "app/region_map.h"
#include "app/session.h"
#include "app/splash_window.h"
#include "convert/conversion_run.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/input_box.h"
#include "platform/message_box.h"
#include "platform/random_source.h"
#include "platform/settings_store.h"
#include "platform/std_platform.h"
#include "text/text_codec.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPixmap>
#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <map>

namespace {

using namespace vantor;

// Only what a rendering touches: the language file and a fixed set of settings.
class RenderFiles final : public platform::FileSystem {
public:
    bool exists(const std::string& path) const override { return QFileInfo::exists(QString::fromStdString(path)); }
    bool isDirectory(const std::string& path) const override { return QFileInfo(QString::fromStdString(path)).isDir(); }
    std::optional<std::string> readAll(const std::string& path, std::string* reason) const override
    {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::ReadOnly)) {
            if (reason) *reason = file.errorString().toStdString();
            return std::nullopt;
        }
        return file.readAll().toStdString();
    }
    std::unique_ptr<platform::OutputFile> create(const std::string&, std::string* reason) override
    {
        if (reason) *reason = "read-only";
        return nullptr;
    }
    bool remove(const std::string&) override { return false; }
    std::vector<std::string> listFiles(const std::string& folder, std::string_view suffix) const override
    {
        std::vector<std::string> names;
        const QStringList found =
            QDir(QString::fromStdString(folder)).entryList({QStringLiteral("*") + QString::fromUtf8(suffix.data(), static_cast<qsizetype>(suffix.size()))},
                                                          QDir::Files, QDir::Name);
        for (const QString& name : found) names.push_back(name.toStdString());
        return names;
    }
};

class RenderSettings final : public platform::SettingsStore {
public:
    std::map<std::string, std::string> values{{"Langue", "FR.lng"}, {"CheminOS", "/opt/opensim/bin/"}};
    std::string read(const std::string&, const std::string& key, const std::string& fallback) const override
    {
        const auto it = values.find(key);
        return it == values.end() ? fallback : it->second;
    }
    void write(const std::string&, const std::string&, const std::string&) override {}
};

class NoDialogs final : public platform::Dialogs, public platform::MessageBox, public platform::InputBox {
public:
    std::optional<platform::ChosenFile> openFile(const platform::FileDialogRequest&) override { return std::nullopt; }
    std::optional<platform::ChosenFile> saveFile(const platform::FileDialogRequest&) override { return std::nullopt; }
    void showMessage(const std::string& text, const std::string&, platform::MessageIcon) override
    {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    std::optional<std::string> ask(const std::string&, const std::string&, const std::string&) override
    {
        return std::nullopt;
    }
};

class NoRandom final : public platform::RandomSource {
public:
    float next() override { return 0.0F; }
};

bool save(QWidget& window, const QString& path)
{
    window.show();
    QApplication::processEvents();
    const bool saved = window.grab().save(path);
    std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// "main-window" becomes "main-window@2x.png" when the screen is scaled to 200 %.
QString pictureName(const QString& base)
{
    const qreal ratio = qApp->devicePixelRatio();
    return ratio > 1 ? base + QStringLiteral("@%1x.png").arg(ratio) : base + QStringLiteral(".png");
}

// The open dialog of the extractor window, choosing the example region.
class ChooseRegion final : public platform::Dialogs {
public:
    explicit ChooseRegion(std::string path) : m_path(std::move(path)) {}
    std::optional<platform::ChosenFile> openFile(const platform::FileDialogRequest&) override
    {
        return platform::ChosenFile{m_path, QFileInfo(QString::fromStdString(m_path)).fileName().toStdString()};
    }
    std::optional<platform::ChosenFile> saveFile(const platform::FileDialogRequest&) override { return std::nullopt; }

private:
    std::string m_path;
};

// The extractor window over an example region: the bundled house listing converted at six
// places of the region into one scene file, loaded, with a rectangle dragged around one house.
bool renderExtractor(app::Session& session, const QDir& output)
{
    QTemporaryDir work;
    platform::StdFileSystem disk;
    NoRandom random;
    NoDialogs quiet;
    const auto listing = convert::loadListingFile(disk, VANTOR_EXAMPLE_LISTING, nullptr);
    if (!work.isValid() || !listing) return false;
    const std::string listingText = *listing;
    std::string region;
    const std::vector<std::array<const char*, 2>> places{{"40", "205"}, {"72", "70"},  {"128", "150"},
                                                         {"205", "215"}, {"212", "92"}, {"160", "38"}};
    for (std::size_t i = 0; i < places.size(); ++i) {
        convert::ConversionRequest request;
        request.listingText = listingText;
        request.rezX = places[i][0];
        request.rezY = places[i][1];
        request.rezZ = convert::kDefaultRezZ;
        request.ownerUuid = convert::kDefaultOwnerUuid;
        request.localIdCounter = convert::kDefaultLocalIdCounter;
        request.outputFolder = work.path().toStdString();
        request.outputName = "house" + std::to_string(i + 1);
        request.replaceExisting = true;
        const convert::ConversionReport report = convert::runConversion(request, disk, random);
        const auto scene = disk.readAll(report.scenePath, nullptr);
        if (!report || !scene) return false;
        region += *scene;  // the frame lines of each file are too short to be objects
    }
    const std::string regionPath = work.filePath(QStringLiteral("region.xml")).toStdString();
    if (auto out = disk.create(regionPath, nullptr)) {
        out->write(region);
        if (!out->commit()) return false;
    }

    ChooseRegion dialogs(regionPath);
    const platform::StdClock clock;
    app::ExtractorWindow window(session, {disk, dialogs, quiet, clock});
    // Its design size, however small the offscreen screen.
    window.resize(760, 860);
    window.open();
    window.show();
    QApplication::processEvents();
    // A rectangle around the house at (128, 150), dragged from its north-west corner.
    app::RegionMap* map = window.regionMap();
    const app::MapTransform& t = map->transform();
    const auto at = [&t](double x, double y) { return QPointF(t.pixelX(x * 40), t.pixelY(10240 - y * 40)); };
    const auto send = [map](QEvent::Type type, QPointF point, Qt::MouseButtons held) {
        QMouseEvent event(type, point, map->mapToGlobal(point), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          held, Qt::NoModifier);
        QApplication::sendEvent(map, &event);
    };
    send(QEvent::MouseButtonPress, at(112, 168), Qt::LeftButton);
    send(QEvent::MouseMove, at(146, 133), Qt::LeftButton);
    return save(window, output.filePath(pictureName(QStringLiteral("extractor"))));
}



// The main window in one language, filled from a fixed set of settings.
bool saveMainWindow(const QFileInfo& language, const QString& path)
{
    RenderFiles files;
    RenderSettings settings;
    NoDialogs dialogs;
    NoRandom random;
    app::Session session;
    session.programFolder = "/opt/vantor";
    session.languageFolder = language.absolutePath().toStdString();
    session.publicAddress = "203.0.113.7";
    settings.values["Langue"] = language.fileName().toStdString();
    const platform::StdClock clock;
    const app::AppServices services{files, random, dialogs, dialogs, dialogs, settings, clock};
    app::MainWindow main(session, services, {}, VANTOR_REVISION);
    if (!main.loadLanguage(language.fileName().toStdString())) return false;
    main.fillFromSettings();
    return save(main, path);
}

bool saveStartAndAbout(const QDir& output, const language::LanguageTable& texts)
{
    bool saved = true;
    app::SplashWindow splash;
    saved &= save(splash, output.filePath(pictureName(QStringLiteral("splash"))));
    splash.close();
    app::AboutWindow about(VANTOR_REVISION, texts);
    saved &= save(about, output.filePath(pictureName(QStringLiteral("about"))));
    return saved;
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: vantor-screenshots OUTPUT_FOLDER LANGUAGE_FILE [LANGUAGE_FILE...]\n");
        return 2;
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));
    // The start-up, About and extractor windows in the first language.
    app::Session session;
    const QFileInfo first(QString::fromLocal8Bit(argv[2]));
    platform::StdFileSystem disk;
    const auto texts = language::readLanguageFile(disk, first.absolutePath().toStdString(), first.fileName().toStdString());
    if (texts) session.language = *texts;
    bool saved = saveStartAndAbout(output, session.language);
    for (int i = 2; i < argc; ++i) {
        const QFileInfo language(QString::fromLocal8Bit(argv[i]));
        const QString base = i == 2 ? QStringLiteral("main-window")
                                    : QStringLiteral("main-window-") + language.completeBaseName().toLower();
        saved &= saveMainWindow(language, output.filePath(pictureName(base)));
    }
    saved &= texts && renderExtractor(session, output);
    return saved ? 0 : 1;
}
