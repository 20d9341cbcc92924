#include "support/TestEnv.h"

#include <QDir>
#include <QFile>

void TestEnv::SetUp() {
    config_ = std::make_unique<QTemporaryDir>();
    temp_ = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(config_->isValid());
    ASSERT_TRUE(temp_->isValid());
    hadConfig_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    hadTemp_ = qEnvironmentVariableIsSet("TEMP");
    oldConfig_ = qgetenv("XDG_CONFIG_HOME");
    oldTemp_ = qgetenv("TEMP");
    qputenv("XDG_CONFIG_HOME", config_->path().toLocal8Bit());
    qputenv("TEMP", temp_->path().toLocal8Bit());
}

void TestEnv::TearDown() {
    if (hadConfig_)
        qputenv("XDG_CONFIG_HOME", oldConfig_);
    else
        qunsetenv("XDG_CONFIG_HOME");
    if (hadTemp_)
        qputenv("TEMP", oldTemp_);
    else
        qunsetenv("TEMP");
}

QString TestEnv::settingsFile() const { return QDir(configDir()).filePath("Kestrune.ini"); }

QStringList TestEnv::filesInTemp() const {
    QStringList names = QDir(tempDir()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

QByteArray TestEnv::readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QByteArray();
    return file.readAll();
}

void TestEnv::writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}
