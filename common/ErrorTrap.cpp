#include "common/ErrorTrap.h"

#include "platform/Dialogs.h"

namespace common {

QString errorReportText(const QString& description, const QString& routine, int line) {
    return description + "\r\n" + "in Morrowlin2017/04/05." + routine + " " + "at line " +
           QString::number(line) + "\r\n\r\n" + "Please email screenshot of this message to " +
           kSupportEmail;
}

QString describeCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what());
        return text.isEmpty() ? QString("An unexpected failure occurred.") : text;
    } catch (...) {
        return QString("An unexpected failure occurred.");
    }
}

ErrorTrap::ErrorTrap(platform::Dialogs& dialogs, QString routine)
    : dialogs_(dialogs), routine_(std::move(routine)) {}

void ErrorTrap::report(const QString& description, int line) {
    ++reports_;
    dialogs_.messageBox(errorReportText(description, routine_, line), platform::kExclamation,
                        "Application Error");
}

}  // namespace common
