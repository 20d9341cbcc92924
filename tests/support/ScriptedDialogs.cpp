#include "support/ScriptedDialogs.h"

#include <QPrinter>

namespace platform {

QList<ScriptedDialogs::Shown> ScriptedDialogs::messages() const {
    QList<Shown> result;
    for (const Shown& s : shown_)
        if (s.kind == Kind::Message) result.append(s);
    return result;
}

int ScriptedDialogs::messageBox(const QString& text, int style, const QString& title) {
    shown_.append({Kind::Message, text, resolvedTitle(title), style, QString(), QString()});
    const bool yesNo = (style & 0x0F) == kYesNo;
    if (answers_.empty()) return yesNo ? kAnswerNo : kAnswerOk;
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

QString ScriptedDialogs::inputBox(const QString& prompt, const QString& title,
                                  const QString& initialText) {
    shown_.append({Kind::Input, prompt, resolvedTitle(title), 0, initialText, QString()});
    if (inputs_.empty()) return QString("");
    const QString text = inputs_.front();
    inputs_.pop_front();
    return text;
}

QString ScriptedDialogs::saveFileName(const QString& title, const QString& filter,
                                      const QString& initialName) {
    shown_.append({Kind::SaveFile, QString(), title, 0, initialName, filter});
    if (saveNames_.empty()) return QString("");
    const QString path = saveNames_.front();
    saveNames_.pop_front();
    return path;
}

bool ScriptedDialogs::printSetup(QPagedPaintDevice& device) {
    auto& printer = dynamic_cast<QPrinter&>(device);
    shown_.append({Kind::Print, QString(), QString(), 0, QString(), QString()});
    if (printFiles_.empty()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printFiles_.front());
    printFiles_.pop_front();
    return true;
}

}  // namespace platform
