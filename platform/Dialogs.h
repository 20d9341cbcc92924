#pragma once

#include <QString>

class QPagedPaintDevice;
class QWidget;

namespace platform {

// Message-box styles and answers keep the values the program's messages are written in.
enum MsgStyle : int {
    kOkOnly = 0,
    kYesNo = 4,
    kExclamation = 48,
    kDefaultButton2 = 256,
};
enum MsgAnswer : int {
    kAnswerOk = 1,
    kAnswerCancel = 2,
    kAnswerYes = 6,
    kAnswerNo = 7,
};

// A text the user typed or stored (a label, a file name) as a message quotes it: texts of more
// than 250 characters keep their first 200 and last 50 characters, joined by "…", and every line
// break becomes a blank, so that a box quoting it fits on the screen and opens at once. A
// character is a Unicode code point (a surrogate pair is never split).
inline constexpr int kExcerptHead = 200;
inline constexpr int kExcerptTail = 50;
QString messageExcerpt(const QString& text);

// The one way the program asks the user anything. A null title means "the application title"
// (applicationTitle()). Every call is modal.
class Dialogs {
  public:
    virtual ~Dialogs() = default;

    // Shows a message box; `style` combines MsgStyle values. Returns a MsgAnswer.
    virtual int messageBox(const QString& text, int style, const QString& title = QString()) = 0;

    // Shows an input prompt. Returns the field's text on OK and the empty text on Cancel.
    virtual QString inputBox(const QString& prompt, const QString& title,
                             const QString& initialText) = 0;

    // Shows a save-file dialog. Returns the chosen path, or the empty text when cancelled.
    // `filter` is in Qt's form ("Excel Files (*.xls)").
    virtual QString saveFileName(const QString& title, const QString& filter,
                                 const QString& initialName) = 0;

    // Shows the system's print dialog for `printer` (its printer, pages, "print to file"), a
    // printer that OutputDevices made. Returns true when the user chose to print; `printer` then
    // holds the choices.
    virtual bool printSetup(QPagedPaintDevice& printer) = 0;

    // The title a box shown with `title` actually carries.
    static QString resolvedTitle(const QString& title);

    // The application title: held here, never given to Qt as the application display name,
    // because on X11 Qt appends that name to every other window's title ("Preview — Morrowlin").
    static void setApplicationTitle(const QString& title);
    static QString applicationTitle();
};

}  // namespace platform
