#include "platform/QtDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <limits>

#include "platform/OutputDevices.h"

namespace platform {

namespace {

// The window a box belongs to: the active one, else the program's shown window (under Wayland a
// program without focus has no active window, and an unparented box would open anywhere).
QWidget* activeParent() {
    if (QWidget* active = QApplication::activeWindow()) return active;
    QWidget* shown = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible() || qobject_cast<QDialog*>(top) != nullptr ||
            top->windowType() == Qt::Popup || top->windowType() == Qt::ToolTip)
            continue;
        shown = top;
        if (top->windowModality() != Qt::NonModal) break;
    }
    return shown;
}

}  // namespace

int QtDialogs::messageBox(const QString& text, int style, const QString& title) {
    QMessageBox box(activeParent());
    box.setWindowTitle(resolvedTitle(title));
    // Plain text always: a quoted label such as "<img src=...>" is shown as typed, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setIcon((style & kExclamation) == kExclamation ? QMessageBox::Warning
                                                       : QMessageBox::NoIcon);
    const bool yesNo = (style & 0x0F) == kYesNo;
    if (yesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton((style & kDefaultButton2) ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int result = box.exec();
    if (!yesNo) return kAnswerOk;
    return result == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
}

QString QtDialogs::inputBox(const QString& prompt, const QString& title,
                            const QString& initialText) {
    QInputDialog dialog(activeParent());
    dialog.setWindowTitle(resolvedTitle(title));
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    // A line edit keeps at most 32767 characters unless told otherwise: a longer stored label
    // would come back cut short from an OK without typing.
    if (auto* field = dialog.findChild<QLineEdit*>())
        field->setMaxLength(std::numeric_limits<int>::max());
    dialog.setTextValue(initialText);
    if (dialog.exec() != QDialog::Accepted) return QString("");
    return dialog.textValue();
}

QString QtDialogs::saveFileName(const QString& title, const QString& filter,
                                const QString& initialName) {
    // The program asks its own overwrite question and adds no extension, so the dialog does
    // neither.
    QFileDialog dialog(activeParent(), title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setObjectName("CommonDialog1");
    if (!initialName.isEmpty()) dialog.selectFile(initialName);
    if (dialog.exec() != QDialog::Accepted) return QString("");
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString("") : files.first();
}

bool QtDialogs::printSetup(QPagedPaintDevice& printer) {
    return outputDevices().printDialog(printer, activeParent());
}

}  // namespace platform
