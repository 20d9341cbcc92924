#include "support/Doubles.h"

#include <QSettings>

namespace platform {

double ScriptedRandom::next() {
    ++draws_;
    if (values_.empty()) return fallback_;
    const double v = values_.front();
    values_.pop_front();
    return v;
}

}  // namespace platform

QList<platform::ScriptedDialogs::Shown> errorReports(const platform::ScriptedDialogs& dialogs) {
    QList<platform::ScriptedDialogs::Shown> reports;
    for (const auto& m : dialogs.messages())
        if (m.title == "Application Error") reports << m;
    return reports;
}

std::optional<QString> storedList(const QString& settingsFile) {
    QSettings ini(settingsFile, QSettings::IniFormat);
    if (!ini.contains("Morrowlin/Assets")) return std::nullopt;
    return ini.value("Morrowlin/Assets").toString();
}
