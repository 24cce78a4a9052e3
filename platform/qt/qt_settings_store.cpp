#include "platform/qt/qt_settings_store.h"

#include <QSettings>

namespace vantor::platform::qt {

namespace {

QString settingPath(const std::string& section, const std::string& key)
{
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

}  // namespace

QtSettingsStore::QtSettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Vantor"), QStringLiteral("Vantor")))
{
}

QtSettingsStore::QtSettingsStore(const QString& iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

QtSettingsStore::~QtSettingsStore() = default;

std::string QtSettingsStore::read(const std::string& section, const std::string& key,
                                  const std::string& fallback) const
{
    const QVariant value = m_settings->value(settingPath(section, key));
    if (!value.isValid()) return fallback;
    // A stored list (a value with commas written by hand into the file) is joined back.
    if (value.metaType().id() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(',')).toStdString();
    }
    return value.toString().toStdString();
}

void QtSettingsStore::write(const std::string& section, const std::string& key, const std::string& value)
{
    m_settings->setValue(settingPath(section, key), QString::fromStdString(value));
}

void QtSettingsStore::sync() { m_settings->sync(); }

}  // namespace vantor::platform::qt
