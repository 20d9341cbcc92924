// Closing the Preview window ends the program: every event loop of the application returns.
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include "PreviewFixture.h"

namespace {
class PreviewClose : public PreviewFixture {};
}  // namespace

TEST_F(PreviewClose, ClosingDeletesTheWorkbookAndEndsTheProgram) {
    const QString workbook = handOverWorkbook();
    mainWindow->hide();
    showWith(patternPicture(120, 90));
    ASSERT_TRUE(form->isVisible());

    bool pendingRan = false;
    QEventLoop loop;
    QTimer::singleShot(0, form.get(), [&] {
        QTimer::singleShot(0, [&] { pendingRan = true; });  // pending while the window closes
        form->close();
    });
    QTimer::singleShot(10000, &loop, [&] { loop.exit(42); });  // guard: the program did not end
    EXPECT_EQ(loop.exec(), 0);

    EXPECT_TRUE(pendingRan);
    EXPECT_FALSE(QFileInfo::exists(workbook));
    EXPECT_TRUE(filesInTemp().isEmpty());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(mainWindow->closeRequests, 0);  // the main window's closing steps do not run
    EXPECT_TRUE(dialogs.shown().isEmpty());
}
