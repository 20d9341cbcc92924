#pragma once

#include <QImage>
#include <QMouseEvent>
#include <QRect>
#include <QString>
#include <QWidget>
#include <memory>

#include "preview/Form2.h"
#include "support/Doubles.h"
#include "support/TestEnv.h"

// A main window that records whether its closing steps ran.
class RecordingMainWindow : public QWidget {
  public:
    int closeRequests = 0;

  protected:
    void closeEvent(QCloseEvent* event) override;
};

// A loaded Preview window over scripted dialogs, with its own TEMP and configuration folders.
class PreviewFixture : public TestEnv {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the window by a freshly loaded one and forgets the boxes shown so far.
    void newWindow();

    // A picture whose every pixel differs from its neighbours, so any rescaling shows.
    static QImage patternPicture(int width, int height);

    // Loads the picture as the build does and shows the window.
    void showWith(const QImage& picture);

    template <class Widget>
    Widget* control(const char* name) const {
        return form->findChild<Widget*>(QString::fromLatin1(name));
    }

    // Sends a mouse event to `target` at a position in its own pixels.
    static void mouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                      Qt::MouseButtons held);

    static int px(double twips);
    static QRect twipsRect(int left, int top, int width, int height);

    // Writes a temporary workbook with recognisable bytes and hands it to the window.
    QString handOverWorkbook(int size = 6000);

    platform::ScriptedDialogs dialogs;
    std::unique_ptr<RecordingMainWindow> mainWindow;
    std::unique_ptr<Form2> form;
};
