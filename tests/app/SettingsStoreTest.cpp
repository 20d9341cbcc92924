#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>

#include "platform/SettingsStore.h"
#include "support/TestEnv.h"

namespace {

using platform::SettingsStore;

class SettingsStoreTest : public TestEnv {};

TEST_F(SettingsStoreTest, TellsAbsentFromEmpty) {
    EXPECT_FALSE(SettingsStore::read("Kestrune", "Morrowlin", "Assets").has_value());
    EXPECT_EQ(SettingsStore::read("Kestrune", "Morrowlin", "Assets", "default"), "default");
    ASSERT_FALSE(SettingsStore::write("Kestrune", "Morrowlin", "Assets", "").has_value());
    const auto stored = SettingsStore::read("Kestrune", "Morrowlin", "Assets");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, "");
    EXPECT_EQ(SettingsStore::read("Kestrune", "Morrowlin", "Assets", "default"), "");
}

TEST_F(SettingsStoreTest, WritesTheIniFileInTheConfigFolder) {
    ASSERT_FALSE(SettingsStore::write("Kestrune", "Morrowlin", "Assets", "a||SEP1||1||SEP2||"));
    EXPECT_EQ(SettingsStore::filePath("Kestrune"), settingsFile());
    QSettings ini(settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Morrowlin/Assets").toString(), "a||SEP1||1||SEP2||");
    EXPECT_TRUE(readFile(settingsFile()).contains("[Morrowlin]"));
}

TEST_F(SettingsStoreTest, RoundTripsAwkwardText) {
    const QStringList texts = {
        QString::fromUtf8("Épargne ☂ 貯金 🚗||SEP1||1||SEP2||"),
        "line\nbreak; semicolon, comma = equals \"quote\" \\ backslash",
        "  leading and trailing blanks  ",
        "#not a comment",
        QString(100000, QChar('x')),
    };
    for (const QString& text : texts) {
        ASSERT_FALSE(SettingsStore::write("Kestrune", "Morrowlin", "Assets", text).has_value());
        EXPECT_EQ(SettingsStore::read("Kestrune", "Morrowlin", "Assets").value_or("<absent>"), text);
    }
}

TEST_F(SettingsStoreTest, AFailedWriteNamesTheFile) {
    // A folder where the settings file should be makes the write fail, even for root.
    ASSERT_TRUE(QDir(configDir()).mkpath("Kestrune.ini/blocker"));
    const auto failure = SettingsStore::write("Kestrune", "Morrowlin", "Assets", "x");
    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->contains("Kestrune.ini")) << failure->toStdString();
}

}  // namespace
