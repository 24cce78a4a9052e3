#include "platform/qt/qt_settings_store.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace vantor::platform::qt {
namespace {

TEST(QtSettingsStore, ValuesSurviveANewStoreExactlyAsTyped)
{
    const std::vector<std::pair<std::string, std::string>> values = {
        {"X", "12,5"}, {"Y", "abc"}, {"Z", " 25 "}, {"CheminOS", "/opt/open sim/bin/"}, {"UUID", ""},
        {"Langue", "FR.lng"}, {"Charger", "/home/é;x=1"}, {"Quote", "say \"hi\", then #"}};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Vantor.ini"));
    {
        QtSettingsStore store(path);
        EXPECT_EQ(store.read("param", "X", "125"), "125");
        for (const auto& [key, value] : values) store.write("param", key, value);
        store.sync();
    }
    QtSettingsStore reopened(path);
    for (const auto& [key, value] : values) EXPECT_EQ(reopened.read("param", key, "absent"), value) << key;
    EXPECT_EQ(reopened.read("other", "X", "absent"), "absent");
}

}  // namespace
}  // namespace vantor::platform::qt
