#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>

// A fixture that gives each test its own configuration folder (XDG_CONFIG_HOME) and temporary
// folder (TEMP), and restores the previous values afterwards. The user's own files are never
// touched.
class TestEnv : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    QString configDir() const { return config_->path(); }
    QString tempDir() const { return temp_->path(); }
    QString settingsFile() const;  // <configDir>/Kestrune.ini

    // Files left in the temporary folder, sorted.
    QStringList filesInTemp() const;

    static QByteArray readFile(const QString& path);
    static void writeFile(const QString& path, const QByteArray& bytes);

  private:
    std::unique_ptr<QTemporaryDir> config_;
    std::unique_ptr<QTemporaryDir> temp_;
    QByteArray oldConfig_, oldTemp_;
    bool hadConfig_ = false, hadTemp_ = false;
};
