#include <gtest/gtest.h>

#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <functional>

#include "platform/Twips.h"
#include "preview/PictureActions.h"
#include "preview/PreviewFixture.h"
#include "xls/Workbook.h"
#include "xls/draw/RangePicture.h"

namespace {

// The Preview of a real workbook: the template with `amounts` in B4.., and its picture drawn as
// the build draws it.
class PictureActionsTest : public PreviewFixture {
  protected:
    void open(const std::vector<std::string>& amounts = {}) {
        xls::Workbook book =
            xls::Workbook::open(std::string(MORROWLIN_SOURCE_DIR) + "/resources/Pie Chart.xlt");
        for (size_t i = 0; i < amounts.size(); ++i)
            book.activeSheet().setValue(3 + int(i), 1, amounts[i]);
        const QString path = QDir(tempDir()).filePath("tkvane12345678.xls");
        book.saveAs(QFile::encodeName(path).toStdString());
        xls::draw::PictureOptions options;
        options.dpi = platform::logicalDpi();
        picture = xls::draw::drawRange(book, 0, *book.activeSheet().usedRange(), options);
        form->mExcelFile = path;
        showWith(picture);
        QApplication::setActiveWindow(form.get());
        QCoreApplication::processEvents();
    }
    preview::PictureActions& actions() { return form->pictureActions(); }
    QString tipAtRow(int sheetRow) {  // 0-based sheet row of the template (first drawn: row 2)
        QWidget* image = control<QWidget>("Picture1");
        const double scale = double(image->height()) / picture.height();
        const int y = int((rowTop(sheetRow) + 3) * scale);
        QHelpEvent help(QEvent::ToolTip, QPoint(5, y), image->mapToGlobal(QPoint(5, y)));
        QApplication::sendEvent(image, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    // The template's rows are 20 pixels high at 96 DPI from its first used row (row 3).
    int rowTop(int sheetRow) const {
        return int(platform::logicalDpi() / 96.0 * 20 * (sheetRow - 2));
    }

    QImage picture;
};

struct KeyCase {
    const char* name;
    QKeySequence key;
    std::function<void(Form2&)> sameAs;  // what the buttons or bars do for it
};

void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }

class PictureKeys : public PictureActionsTest, public ::testing::WithParamInterface<KeyCase> {};

// A key does what its button or scroll-bar key does, on a picture zoomed larger than the viewport.
TEST_P(PictureKeys, DoWhatTheButtonsAndBarsDo) {
    const KeyCase& c = GetParam();
    auto prepare = [&] {
        open();
        for (int i = 0; i < 10; ++i) form->PushButton1_Click();  // larger than the viewport
        control<QScrollBar>("VScroll1")->setValue(3);
        control<QScrollBar>("HScroll1")->setValue(2);
    };
    auto state = [&] {
        return std::vector<double>{form->viewport().mZoom,
                                   double(control<QScrollBar>("HScroll1")->value()),
                                   double(control<QScrollBar>("VScroll1")->value())};
    };
    prepare();
    const auto before = state();
    c.sameAs(*form);
    const auto expected = state();
    ASSERT_NE(expected, before) << "the case must change something";
    newWindow();
    prepare();
    ASSERT_EQ(state(), before);
    QTest::keyClick(control<QPushButton>("PushButton6"), c.key[0].key(),
                    c.key[0].keyboardModifiers());
    EXPECT_EQ(state(), expected);
}

void bar(Form2& form, const char* name, QAbstractSlider::SliderAction action) {
    form.findChild<QScrollBar*>(name)->triggerAction(action);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PictureKeys,
    ::testing::Values(
        KeyCase{"CtrlPlus", QKeySequence(Qt::CTRL | Qt::Key_Plus),
                [](Form2& f) { f.PushButton1_Click(); }},
        KeyCase{"CtrlEqual", QKeySequence(Qt::CTRL | Qt::Key_Equal),
                [](Form2& f) { f.PushButton1_Click(); }},
        KeyCase{"CtrlMinus", QKeySequence(Qt::CTRL | Qt::Key_Minus),
                [](Form2& f) { f.PushButton2_Click(); }},
        KeyCase{"Down", QKeySequence(Qt::Key_Down),
                [](Form2& f) { bar(f, "VScroll1", QAbstractSlider::SliderSingleStepAdd); }},
        KeyCase{"Up", QKeySequence(Qt::Key_Up),
                [](Form2& f) { bar(f, "VScroll1", QAbstractSlider::SliderSingleStepSub); }},
        KeyCase{"Right", QKeySequence(Qt::Key_Right),
                [](Form2& f) { bar(f, "HScroll1", QAbstractSlider::SliderSingleStepAdd); }},
        KeyCase{"Left", QKeySequence(Qt::Key_Left),
                [](Form2& f) { bar(f, "HScroll1", QAbstractSlider::SliderSingleStepSub); }},
        KeyCase{"PageDown", QKeySequence(Qt::Key_PageDown),
                [](Form2& f) { bar(f, "VScroll1", QAbstractSlider::SliderPageStepAdd); }},
        KeyCase{"PageUp", QKeySequence(Qt::Key_PageUp),
                [](Form2& f) { bar(f, "VScroll1", QAbstractSlider::SliderPageStepSub); }},
        KeyCase{"End", QKeySequence(Qt::Key_End),
                [](Form2& f) { bar(f, "VScroll1", QAbstractSlider::SliderToMaximum); }},
        KeyCase{"Home", QKeySequence(Qt::Key_Home),
                [](Form2& f) { bar(f, "VScroll1", QAbstractSlider::SliderToMinimum); }}));

TEST_F(PictureActionsTest, CtrlWheelZoomsAStepANotch) {
    open();
    QWidget* image = control<QWidget>("Picture1");
    auto wheel = [&](int delta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(5, 5), image->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QApplication::sendEvent(image, &event);
    };
    const float start = form->viewport().mZoom;
    wheel(240, Qt::ControlModifier);
    form->PushButton2_Click();
    form->PushButton2_Click();
    EXPECT_FLOAT_EQ(form->viewport().mZoom, start) << "two notches, two steps";
    wheel(60, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(form->viewport().mZoom, start) << "half a notch";
    wheel(60, Qt::ControlModifier);
    wheel(-120, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(form->viewport().mZoom, start);
    wheel(-120, Qt::ControlModifier);
    EXPECT_LT(form->viewport().mZoom, start);
    const float zoomed = form->viewport().mZoom;
    wheel(120, Qt::NoModifier);
    EXPECT_FLOAT_EQ(form->viewport().mZoom, zoomed) << "a plain wheel scrolls";
}

// The menu's items, their keys, and what each makes: the clipboard's image, the files saved
// and printed.
TEST_F(PictureActionsTest, CopySaveAndPrintThePicture) {
    open();
    QStringList items;
    for (QAction* action : actions().menuActions())
        items << action->text() + "|" + action->shortcut().toString(QKeySequence::PortableText);
    EXPECT_EQ(items.mid(0, 4),
              QStringList({"Copy Picture|Ctrl+C", "Save Picture As...|Ctrl+Shift+S",
                           "Print...|Ctrl+P", "|"}))
        << items.join(", ").toStdString();
    QWidget* button = control<QWidget>("PushButton1");
    form->PushButton1_Click();  // the copy is of the unscaled picture
    QTest::keyClick(button, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
              picture.convertToFormat(QImage::Format_RGB32));

    const QString png = QDir(tempDir()).filePath("p.png"), svg = QDir(tempDir()).filePath("p.svg");
    const QString pdf = QDir(tempDir()).filePath("p.pdf"), plain = QDir(tempDir()).filePath("q");
    const QString printed = QDir(tempDir()).filePath("printed.pdf");
    for (const QString& path : {png, svg, pdf, plain}) {
        dialogs.queueSaveName(path);
        QTest::keyClick(button, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    }
    dialogs.queuePrintFile(printed);
    QTest::keyClick(button, Qt::Key_P, Qt::ControlModifier);
    for (const auto& m : dialogs.messages()) ADD_FAILURE() << m.text.toStdString();
    EXPECT_EQ(QImage(png).convertToFormat(QImage::Format_RGB32),
              picture.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(QImage(plain + ".png").convertToFormat(QImage::Format_RGB32),
              picture.convertToFormat(QImage::Format_RGB32));
    const QByteArray svgText = readFile(svg);
    for (const char* label : {"Asset Type", "Savings", "401k", "House"})
        EXPECT_TRUE(svgText.contains(QByteArray(">") + label + "<")) << label << " as text";
    EXPECT_TRUE(readFile(pdf).startsWith("%PDF"));
    EXPECT_TRUE(readFile(printed).startsWith("%PDF"));

    // With the sheet and its chart shown, the files are of what is shown: larger, the pie too.
    form->findChild<QAction*>("ShowSheetWithChart")->trigger();
    const QString sheetSvg = QDir(tempDir()).filePath("sheet.svg");
    dialogs.queueSaveName(sheetSvg);
    actions().savePictureAs();
    const QSize sheetSize = actions().picture().size() / actions().picture().devicePixelRatio();
    const QByteArray sheetText = readFile(sheetSvg);
    EXPECT_GT(sheetSize.width(), picture.width());
    EXPECT_TRUE(sheetText.contains(QString("width=\"%1")
                                       .arg(sheetSize.width() * 25.4 / platform::logicalDpi())
                                       .toUtf8()) ||
                sheetText.contains(QString("viewBox=\"0 0 %1 %2\"")
                                       .arg(sheetSize.width())
                                       .arg(sheetSize.height())
                                       .toUtf8()))
        << sheetText.left(600).toStdString();
    EXPECT_GT(sheetText.size(), svgText.size() * 3 / 2) << "the pie's faces and labels";

    // An existing file is replaced only after a Yes.
    writeFile(png, "old");
    dialogs.queueSaveName(png);
    actions().savePictureAs();
    EXPECT_EQ(readFile(png), QByteArray("old"));
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(dialogs.messages()[0].text.startsWith("Are you sure you wish to overwrite "));
}

struct TipCase {
    const char* name;
    std::vector<std::string> amounts;  // B4.. of the template
    int row;                           // 0-based sheet row pointed at
    QString tip;
};

void PrintTo(const TipCase& c, std::ostream* os) { *os << c.name; }

class PictureTips : public PictureActionsTest, public ::testing::WithParamInterface<TipCase> {};

TEST_P(PictureTips, NameTheEntryItsAmountAndShare) {
    const TipCase& c = GetParam();
    open(c.amounts);
    EXPECT_EQ(tipAtRow(c.row).toStdString(), c.tip.toStdString());
    form->PushButton1_Click();
    form->PushButton1_Click();
    EXPECT_EQ(tipAtRow(c.row).toStdString(), c.tip.toStdString()) << "zoomed in";
    QCoreApplication::processEvents();
    const QString description = control<QWidget>("Picture1")->accessibleDescription();
    EXPECT_TRUE(description.contains(c.tip.section('\n', 0, 0) + ".\n"))
        << description.toStdString();
    EXPECT_TRUE(description.contains(
        QString("%1 x %2 pixels, shown at 150 % zoom").arg(picture.width()).arg(picture.height())))
        << description.toStdString();
    EXPECT_EQ(control<QWidget>("Picture1")->accessibleName(),
              "Picture of the cells A3:B19 of the sheet \"Assets\"");
    QToolTip::hideText();
}

const QString kNote =
    "\nSome amounts are zero or negative: spreadsheet programs leave a zero amount out of the pie "
    "and draw a negative amount as a positive slice.";

INSTANTIATE_TEST_SUITE_P(
    Table, PictureTips,
    ::testing::Values(TipCase{"Entry", {}, 6, "House: $250,000, 68.8 % of $363,500"},
                      TipCase{"FirstEntry", {}, 3, "Savings: $25,000, 6.9 % of $363,500"},
                      TipCase{"Heading", {}, 2, "Total: $363,500 in 6 entries"},
                      TipCase{"BelowTheTable", {}, 12, ""},
                      TipCase{"NegativeAndZero",
                              {"-5000", "0"},
                              3,
                              "Savings: $(5,000), -1.8 % of $278,500" + kNote}));

}  // namespace
