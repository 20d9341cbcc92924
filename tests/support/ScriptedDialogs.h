#pragma once

#include <QList>
#include <QString>
#include <deque>

#include "platform/Dialogs.h"

namespace platform {

// A test double: answers come from queues, and every box shown is recorded. A box shown with an
// empty queue gets the neutral answer (OK, No, Cancel: the empty text).
class ScriptedDialogs : public Dialogs {
  public:
    enum class Kind { Message, Input, SaveFile, Print };
    struct Shown {
        Kind kind;
        QString text;   // message text, prompt, or nothing for the save dialog
        QString title;  // the title the box carried
        int style = 0;  // message boxes only
        QString initialText;
        QString filter;  // save dialog only
    };

    void queueAnswer(int answer) { answers_.push_back(answer); }
    void queueInput(const QString& text) { inputs_.push_back(text); }
    void queueSaveName(const QString& path) { saveNames_.push_back(path); }
    // The print dialog's answer: print to this PDF file ("print to file").
    void queuePrintFile(const QString& path) { printFiles_.push_back(path); }

    const QList<Shown>& shown() const { return shown_; }
    QList<Shown> messages() const;  // the message boxes only
    void clear() { shown_.clear(); }

    int messageBox(const QString& text, int style, const QString& title = QString()) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& initialText) override;
    QString saveFileName(const QString& title, const QString& filter,
                         const QString& initialName) override;
    bool printSetup(QPagedPaintDevice& printer) override;

  private:
    std::deque<int> answers_;
    std::deque<QString> inputs_;
    std::deque<QString> saveNames_;
    std::deque<QString> printFiles_;
    QList<Shown> shown_;
};

}  // namespace platform
