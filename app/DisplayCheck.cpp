#include "app/DisplayCheck.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdio>
#include <cstdlib>

namespace app {

namespace {

std::string variable(const char* name) { return qEnvironmentVariable(name).toStdString(); }

std::string lineFor(const std::string& reason) {
    return "morrowlin: no display found (" + reason +
           "); start it from a desktop session, or under Xvfb.\n";
}

// What Qt said while the window system was being reached; passed on once it is.
struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

QList<HeldMessage>& held() {
    static QList<HeldMessage> messages;
    return messages;
}

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        const std::string line = displayUnreachable();
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        // Qt would abort right after this handler; nothing of the program has started yet.
        std::_Exit(kNoDisplayStatus);
    }
    held().append({type, QByteArray(context.category ? context.category : ""), text});
}

}  // namespace

std::optional<std::string> noDisplayNamed() {
    if (!variable("QT_QPA_PLATFORM").empty() || !variable("DISPLAY").empty() ||
        !variable("WAYLAND_DISPLAY").empty())
        return std::nullopt;
    return lineFor("DISPLAY and WAYLAND_DISPLAY are not set");
}

std::string displayUnreachable() {
    const std::string x11 = variable("DISPLAY");
    const std::string wayland = variable("WAYLAND_DISPLAY");
    const std::string platform = variable("QT_QPA_PLATFORM");
    std::string reason;
    if (!x11.empty())
        reason = "the display \"" + x11 + "\" cannot be reached";
    else if (!wayland.empty())
        reason = "the Wayland display \"" + wayland + "\" cannot be reached";
    else
        reason = "DISPLAY and WAYLAND_DISPLAY are not set";
    if (!platform.empty()) reason += ", with QT_QPA_PLATFORM \"" + platform + "\"";
    return lineFor(reason);
}

DisplayConnection::DisplayConnection() {
    held().clear();
    previous_ = qInstallMessageHandler(holdMessage);
    active_ = true;
}

DisplayConnection::~DisplayConnection() { established(); }

void DisplayConnection::established() {
    if (!active_) return;
    active_ = false;
    qInstallMessageHandler(previous_);
    const QList<HeldMessage> messages = std::move(held());
    held().clear();
    for (const HeldMessage& m : messages) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.category.constData());
        if (previous_)
            previous_(m.type, context, m.text);
        else
            qt_message_output(m.type, context, m.text);
    }
}

}  // namespace app
