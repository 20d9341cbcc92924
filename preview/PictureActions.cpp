#include "preview/PictureActions.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QPagedPaintDevice>
#include <QPdfWriter>
#include <QSaveFile>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <cmath>

#include "common/Amounts.h"
#include "common/Failure.h"
#include "platform/Dialogs.h"
#include "platform/OutputDevices.h"
#include "platform/Twips.h"
#include "preview/Form2.h"
#include "preview/PictureBox.h"
#include "preview/PicturePath.h"
#include "xls/Workbook.h"
#include "xls/draw/ChartPicture.h"
#include "xls/draw/ChartReader.h"
#include "xls/draw/RangePicture.h"

namespace preview {

namespace {

constexpr char kSaveTitle[] = "Save Picture As";
constexpr char kSaveFilter[] = "PNG Image (*.png);;SVG Image (*.svg);;PDF Document (*.pdf)";
constexpr int kNotch = 120;  // a wheel's notch in eighths of a degree

xls::CellRange usedRange(const xls::Workbook& book) {
    const std::optional<xls::CellRange> used = book.sheet(book.activeSheetIndex()).usedRange();
    if (!used)
        throw common::Failure(QString("The workbook \"%1\" has no cells to draw.")
                                  .arg(QString::fromStdString(book.displayName())));
    return *used;
}

xls::draw::PictureOptions pictureOptions() {
    xls::draw::PictureOptions options;
    options.dpi = platform::logicalDpi();
    options.numbers = common::amountConventions();  // as the user writes numbers
    return options;
}

QSize logicalSize(const QImage& image) {
    const double ratio = image.devicePixelRatio() > 0 ? image.devicePixelRatio() : 1.0;
    return QSize(int(std::lround(image.width() / ratio)), int(std::lround(image.height() / ratio)));
}

constexpr int kLastRow = 65535, kLastCol = 255;

// Sizes of one picture: a picture drawn at a screen's pixel ratio may round its rows a pixel
// apart from one drawn at the logical DPI.
bool near(const QSize& a, const QSize& b) {
    auto close = [](int x, int y) { return std::abs(x - y) <= std::max(2, x / 50); };
    return close(a.width(), b.width()) && close(a.height(), b.height());
}

void commit(QSaveFile& file, const QString& path) {
    if (!file.commit())
        throw common::Failure(QString("The file \"%1\" could not be written: %2.")
                                  .arg(shownPath(path), file.errorString()));
}

}  // namespace

PictureActions::PictureActions(Form2& form, platform::Dialogs& dialogs)
    : QObject(&form),
      form_(form),
      dialogs_(dialogs),
      image_(form.findChild<QWidget*>("Picture1")),
      viewport_(form.findChild<QWidget*>("Picture2")),
      hBar_(form.findChild<QScrollBar*>("HScroll1")),
      vBar_(form.findChild<QScrollBar*>("VScroll1")) {
    createActions();
    for (QWidget* box : {image_, viewport_}) {
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this,
                [this, box](const QPoint& pos) { showMenu(box, pos); });
        box->installEventFilter(this);  // before the window's own filter: Ctrl+wheel zooms
    }
    form_.installEventFilter(this);
    describe();
}

QAction* PictureActions::addKeys(const char* name, const QList<QKeySequence>& keys) {
    auto* action = new QAction(&form_);
    action->setObjectName(name);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    form_.addAction(action);
    return action;
}

void PictureActions::createActions() {
    connect(addKeys("ZoomIn", {QKeySequence(Qt::CTRL | Qt::Key_Plus),
                               QKeySequence(Qt::CTRL | Qt::Key_Equal)}),
            &QAction::triggered, &form_, &Form2::PushButton1_Click);
    connect(addKeys("ZoomOut", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}), &QAction::triggered,
            &form_, &Form2::PushButton2_Click);
    const struct {
        const char* name;
        Qt::Key key;
        QScrollBar* bar;
        QAbstractSlider::SliderAction move;
    } moves[] = {
        {"ScrollUp", Qt::Key_Up, vBar_, QAbstractSlider::SliderSingleStepSub},
        {"ScrollDown", Qt::Key_Down, vBar_, QAbstractSlider::SliderSingleStepAdd},
        {"ScrollLeft", Qt::Key_Left, hBar_, QAbstractSlider::SliderSingleStepSub},
        {"ScrollRight", Qt::Key_Right, hBar_, QAbstractSlider::SliderSingleStepAdd},
        {"PageUp", Qt::Key_PageUp, vBar_, QAbstractSlider::SliderPageStepSub},
        {"PageDown", Qt::Key_PageDown, vBar_, QAbstractSlider::SliderPageStepAdd},
        {"ScrollHome", Qt::Key_Home, vBar_, QAbstractSlider::SliderToMinimum},
        {"ScrollEnd", Qt::Key_End, vBar_, QAbstractSlider::SliderToMaximum},
    };
    for (const auto& m : moves) {
        QScrollBar* bar = m.bar;
        const int move = m.move;
        connect(addKeys(m.name, {QKeySequence(m.key)}), &QAction::triggered, this,
                [this, bar, move] { scrollBy(bar, move); });
    }

    auto menuItem = [this](const char* name, const char* text, const QKeySequence& key) {
        QAction* action = addKeys(name, {key});
        action->setText(text);
        addMenuAction(action);
        return action;
    };
    connect(menuItem("CopyPicture", "Copy Picture", QKeySequence(Qt::CTRL | Qt::Key_C)),
            &QAction::triggered, this, &PictureActions::copyPicture);
    connect(menuItem("SavePictureAs", "Save Picture As...",
                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)),
            &QAction::triggered, this, &PictureActions::savePictureAs);
    connect(menuItem("PrintPicture", "Print...", QKeySequence(Qt::CTRL | Qt::Key_P)),
            &QAction::triggered, this, &PictureActions::printPicture);
}

void PictureActions::addMenuAction(QAction* action) {
    if (!form_.actions().contains(action)) {
        action->setShortcutContext(Qt::WindowShortcut);
        form_.addAction(action);
    }
    menu_.append(action);
}

QAction* PictureActions::addMenuSeparator() {
    auto* line = new QAction(&form_);
    line->setSeparator(true);
    menu_.append(line);
    return line;
}

QAction* PictureActions::action(const QString& objectName) const {
    for (QAction* a : form_.actions())
        if (a->objectName() == objectName) return a;
    return nullptr;
}

// The hidden box holds the unscaled picture once the window has set up its viewport; before,
// the image box holds it.
QImage PictureActions::picture() const {
    const auto* unscaled = form_.findChild<PictureBox*>("Zoom_Ori");
    if (!form_.firstActivatePending() && unscaled && !unscaled->picture().isNull())
        return unscaled->picture();
    const auto* image = qobject_cast<const PictureBox*>(image_);
    return image ? image->picture() : QImage();
}

// As the bar's own keys do: a disabled bar has nothing to move.
void PictureActions::scrollBy(QScrollBar* bar, int sliderAction) {
    if (bar && bar->isEnabled()) bar->triggerAction(QAbstractSlider::SliderAction(sliderAction));
}

void PictureActions::zoomByWheel(int angleDelta) {
    wheelRest_ += angleDelta;
    for (; wheelRest_ >= kNotch; wheelRest_ -= kNotch) form_.PushButton1_Click();
    for (; wheelRest_ <= -kNotch; wheelRest_ += kNotch) form_.PushButton2_Click();
}

void PictureActions::showMenu(QWidget* from, const QPoint& pos) {
    QMenu menu(&form_);
    menu.setObjectName("PictureMenu");
    menu.addActions(menu_);
    menu.exec(from->mapToGlobal(pos));
}

// ---- Facts, tooltips and the accessible text ----------------------------------------------------

const PictureFacts& PictureActions::facts() {
    const QImage shown = picture();
    const QFileInfo file(form_.mExcelFile);
    const QString key = QString("%1|%2|%3")
                            .arg(form_.mExcelFile)
                            .arg(file.exists() ? file.lastModified().toMSecsSinceEpoch() : -1)
                            .arg(shown.cacheKey());
    if (key == factsKey_) return facts_;
    factsKey_ = key;
    facts_ = PictureFacts();
    if (shown.isNull() || !file.exists()) return facts_;
    try {
        const xls::Workbook book = workbook();
        // Facts of another picture than the one shown would point at the wrong rows. A picture
        // drawn at a screen's pixel ratio may round its rows a pixel apart.
        const QSize drawn = xls::draw::rangePictureSize(book, book.activeSheetIndex(),
                                                      usedRange(book), pictureOptions());
        if (near(drawn, logicalSize(shown)))
            facts_ = PictureFacts::read(book, pictureOptions().dpi);
    } catch (const std::exception&) {
        facts_ = PictureFacts();  // no facts: no tips, a plain description
    }
    return facts_;
}

void PictureActions::showTip(QWidget* box, const QPoint& pos, const QPoint& globalPos) {
    const QSize unscaled = logicalSize(picture());
    QString tip;
    if (box == image_ && box->height() > 0 && !unscaled.isEmpty())
        tip = facts().tipAt(pos.y() * double(unscaled.height()) / box->height());
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(globalPos, tip, box);
}

// A zoom or a new picture resizes the image box in the middle of the window's set-up: the text
// is made once the set-up is done.
void PictureActions::describeLater() {
    if (describePending_) return;
    describePending_ = true;
    QTimer::singleShot(0, this, [this] {
        describePending_ = false;
        describe();
    });
}

void PictureActions::describe() {
    const QImage shown = picture();
    if (shown.isNull()) {
        image_->setAccessibleName("Picture of the sheet (none)");
        image_->setAccessibleDescription("No picture of the sheet is shown.");
        return;
    }
    const PictureFacts& table = facts();
    const QSize size = logicalSize(shown);
    const QString what = table.shows().isEmpty() ? QString("the sheet") : table.shows();
    image_->setAccessibleName("Picture of " + what);
    image_->setAccessibleDescription(QString("Picture of %1, %2 x %3 pixels, shown at %4 % zoom.\n")
                                         .arg(what)
                                         .arg(size.width())
                                         .arg(size.height())
                                         .arg(int(std::lround(form_.viewport().mZoom * 100.0))) +
                                     table.describe());
}

bool PictureActions::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Wheel:
            if (watched != image_ && watched != viewport_) break;
            if (static_cast<QWheelEvent*>(event)->modifiers() & Qt::ControlModifier) {
                zoomByWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
                event->accept();
                return true;
            }
            break;
        case QEvent::ToolTip: {
            if (watched != image_ && watched != viewport_) break;
            const auto* help = static_cast<QHelpEvent*>(event);
            showTip(static_cast<QWidget*>(watched), help->pos(), help->globalPos());
            return true;
        }
        case QEvent::Resize:
            if (watched == image_) describeLater();
            break;
        case QEvent::Show:
            if (watched == &form_) describeLater();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

// ---- Copy, save and print -----------------------------------------------------------------------

void PictureActions::tellFailure(const QString& text) {
    dialogs_.messageBox(text, platform::kExclamation);
}

xls::Workbook PictureActions::workbook() const {
    if (form_.mExcelFile.isEmpty())
        throw common::Failure("There is no workbook to draw the picture from.");
    try {
        return xls::Workbook::open(QFile::encodeName(form_.mExcelFile).toStdString());
    } catch (const xls::Error& e) {
        throw common::Failure(QString("The workbook \"%1\" could not be read: %2")
                                  .arg(shownPath(form_.mExcelFile), QString::fromUtf8(e.what())));
    }
}

// The used range, or, when the window shows the sheet with its charts instead, the cells from A1
// to the far corner of the used range and of every chart's place, the charts over them.
PictureActions::Drawn PictureActions::drawnPart(const xls::Workbook& book) const {
    const int sheet = book.activeSheetIndex();
    const xls::CellRange used = usedRange(book);
    const QSize shown = logicalSize(picture());
    if (near(xls::draw::rangePictureSize(book, sheet, used, pictureOptions()), shown))
        return {used, false};
    xls::CellRange all{0, 0, used.lastRow, used.lastCol};
    for (const xls::draw::ChartObject& chart : xls::draw::readCharts(book, sheet)) {
        if (!chart.anchor) continue;
        all.lastRow = std::min(
            kLastRow, std::max({all.lastRow, chart.anchor->firstRow, chart.anchor->lastRow}));
        all.lastCol = std::min(
            kLastCol, std::max({all.lastCol, chart.anchor->firstCol, chart.anchor->lastCol}));
    }
    return {all, true};
}

QSize PictureActions::drawnSize(const xls::Workbook& book) const {
    return xls::draw::rangePictureSize(book, book.activeSheetIndex(), drawnPart(book).range,
                                     pictureOptions());
}

void PictureActions::paintVector(QPainter& painter, const xls::Workbook& book) const {
    const int sheet = book.activeSheetIndex();
    const xls::draw::PictureOptions options = pictureOptions();
    const Drawn part = drawnPart(book);
    xls::draw::paintRange(painter, book, sheet, part.range, options);
    if (!part.withCharts) return;
    for (const xls::draw::ChartObject& chart : xls::draw::readCharts(book, sheet))
        if (xls::draw::isDrawable(chart) && chart.anchor)
            xls::draw::paintChart(painter, book, chart,
                                xls::draw::chartRect(book, sheet, chart, options.dpi), options.dpi);
}

void PictureActions::copyPicture() {
    const QImage shown = picture();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (shown.isNull() || clipboard == nullptr) {
        tellFailure("There is no picture to copy.");
        return;
    }
    clipboard->setImage(shown);
}

void PictureActions::savePictureAs() {
    const QString path = askPicturePath(dialogs_, kSaveTitle, kSaveFilter);
    if (path.isEmpty()) return;
    try {
        savePicture(path);
    } catch (const std::exception& e) {
        tellFailure(QString::fromUtf8(e.what()) + " The picture was not saved.");
    }
}

void PictureActions::savePicture(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    QSaveFile file(path);
    auto open = [&] {
        if (!file.open(QIODevice::WriteOnly))
            throw common::Failure(QString("The file \"%1\" could not be created: %2.")
                                      .arg(shownPath(path), file.errorString()));
    };
    if (suffix == "png") {
        const QImage shown = picture();
        if (shown.isNull()) throw common::Failure("There is no picture to save.");
        open();
        if (!shown.save(&file, "PNG"))
            throw common::Failure(
                QString("The file \"%1\" could not be written.").arg(shownPath(path)));
        commit(file, path);
        return;
    }
    const xls::Workbook book = workbook();
    const xls::draw::PictureOptions options = pictureOptions();
    const QSize size = drawnSize(book);
    open();
    const QString title = QString("Picture of %1").arg(QFileInfo(form_.mExcelFile).fileName());
    if (suffix == "svg") {
        const std::unique_ptr<QPaintDevice> svg = platform::outputDevices().svg(
            file, QSizeF(size), int(std::lround(options.dpi)), title);
        QPainter painter(svg.get());
        paintVector(painter, book);
    } else {
        QPdfWriter pdf(&file);
        pdf.setResolution(int(std::lround(options.dpi)));
        pdf.setPageSize(QPageSize(QSizeF(size) * 72.0 / options.dpi, QPageSize::Point, QString(),
                                  QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setTitle(title);
        pdf.setCreator("Morrowlin");
        QPainter painter(&pdf);
        paintVector(painter, book);
    }
    commit(file, path);
}

// The picture as large as it is on screen, or smaller to fit the page's printable area.
void PictureActions::printPicture() {
    try {
        const xls::Workbook book = workbook();
        const xls::draw::PictureOptions options = pictureOptions();
        const QSize size = drawnSize(book);
        const std::unique_ptr<QPagedPaintDevice> printer = platform::outputDevices().printer(
            QString("Picture of %1").arg(QFileInfo(form_.mExcelFile).fileName()), "Morrowlin");
        if (!dialogs_.printSetup(*printer)) return;
        QPainter painter;
        if (!painter.begin(printer.get()))
            throw common::Failure("The printer could not be started.");
        const double scale = std::min({printer->width() / double(size.width()),
                                       printer->height() / double(size.height()),
                                       printer->logicalDpiX() / options.dpi});
        painter.scale(scale, scale);
        paintVector(painter, book);
        if (!painter.end()) throw common::Failure("The picture could not be printed.");
    } catch (const std::exception& e) {
        tellFailure(QString::fromUtf8(e.what()) + " Nothing was printed.");
    }
}

}  // namespace preview
