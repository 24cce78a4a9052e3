#pragma once

#include "platform/settings_store.h"

#include <QString>

#include <memory>

class QSettings;

namespace vantor::platform::qt {

// Settings through QSettings in the user's own store, under the application name Vantor
// (on Linux ~/.config/Vantor/Vantor.conf); one QSettings group per section.
class QtSettingsStore final : public SettingsStore {
public:
    QtSettingsStore();
    // Keeps the settings in the INI file at iniPath instead (tests, portable use).
    explicit QtSettingsStore(const QString& iniPath);
    ~QtSettingsStore() override;

    std::string read(const std::string& section, const std::string& key, const std::string& fallback) const override;
    void write(const std::string& section, const std::string& key, const std::string& value) override;
    // Writes pending changes to permanent storage now.
    void sync();

private:
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace vantor::platform::qt
