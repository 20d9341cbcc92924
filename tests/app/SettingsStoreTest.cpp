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
        QString("nul") + QChar(0) + "1 inside",
        QString(100000, QChar('x')),
    };
    for (const QString& text : texts) {
        ASSERT_FALSE(SettingsStore::write("Kestrune", "Morrowlin", "Assets", text).has_value());
        EXPECT_EQ(SettingsStore::read("Kestrune", "Morrowlin", "Assets").value_or("<absent>"),
                  text);
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

namespace {

// A file that holds more than the list is written through QSettings and keeps its other values.
TEST_F(SettingsStoreTest, OtherValuesInTheFileAreKept) {
    {
        QSettings ini(settingsFile(), QSettings::IniFormat);
        ini.setValue("Other/Key", 42);
        ini.setValue("Morrowlin/Assets", "old");
    }
    ASSERT_FALSE(SettingsStore::write("Kestrune", "Morrowlin", "Assets", "new;text").has_value());
    EXPECT_EQ(SettingsStore::read("Kestrune", "Morrowlin", "Assets").value_or("<absent>"),
              "new;text");
    QSettings ini(settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Other/Key").toInt(), 42);
}

TEST_F(SettingsStoreTest, AnotherKeyAloneIsNotTakenForTheList) {
    {
        QSettings ini(settingsFile(), QSettings::IniFormat);
        ini.setValue("Morrowlin/Other", "x");
    }
    EXPECT_FALSE(SettingsStore::read("Kestrune", "Morrowlin", "Assets").has_value());
    ASSERT_FALSE(SettingsStore::write("Kestrune", "Morrowlin", "Assets", "y").has_value());
    EXPECT_EQ(SettingsStore::read("Kestrune", "Morrowlin", "Assets").value_or("<absent>"), "y");
    QSettings ini(settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Morrowlin/Other").toString(), "x");
}

}  // namespace
