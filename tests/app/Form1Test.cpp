#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <csignal>

#include "app/Form1.h"
#include "app/ListActions.h"
#include "chart/EngineSpreadsheet.h"
#include "common/Main.h"
#include "common/MousePointer.h"
#include "entries/EntryCodec.h"
#include "entries/EntryListModel.h"
#include "preview/Form2.h"
#include "platform/TerminationSignals.h"
#include "platform/Twips.h"
#include "support/Doubles.h"
#include "support/TestEnv.h"

namespace {

class Form1Test : public TestEnv {
  protected:
    void SetUp() override {
        TestEnv::SetUp();
        ASSERT_TRUE(programFolder.isValid());
        services.dialogs = &dialogs;
        services.random = &random;
        services.shell = &shell;
        services.spreadsheets = &spreadsheets;
        services.programFolder = programFolder.path();
    }

    std::unique_ptr<Form1> start() {
        auto form = std::make_unique<Form1>(services);
        form->Form_Load();
        return form;
    }

    void store(const QString& text) {
        QSettings ini(settingsFile(), QSettings::IniFormat);
        ini.setValue("Morrowlin/Assets", text);
    }
    void putInProgramFolder(const QString& name, const QByteArray& bytes) {
        const QString path = QDir(programFolder.path()).filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        writeFile(path, bytes);
    }
    static QByteArray sourceFile(const char* relative) {
        return readFile(QString(MORROWLIN_SOURCE_DIR) + "/" + relative);
    }

    QTemporaryDir programFolder;
    platform::ScriptedDialogs dialogs;
    platform::ScriptedRandom random{0.5};
    RecordingOpener shell;
    chart::EngineSpreadsheetClass spreadsheets;
    common::Services services;
};

TEST_F(Form1Test, BareProgramFolderOpensQuietlyWithTheSamples) {
    platform::Dialogs::setApplicationTitle("not yet set");
    auto form = start();
    EXPECT_TRUE(dialogs.shown().isEmpty());
    EXPECT_EQ(form->windowTitle(), "Morrowlin");
    EXPECT_EQ(platform::Dialogs::applicationTitle(), "Morrowlin");
    EXPECT_EQ(common::Main::backgroundColor(form.get()), QColor(Qt::white));
    EXPECT_TRUE(form->styleSheet().isEmpty());
    EXPECT_FALSE(form->mousePointer().hasCustomCursor());
    EXPECT_EQ(form->entries().entries(), EntryCodec::SampleEntries());
    EXPECT_TRUE(shell.opened.isEmpty());
}

TEST_F(Form1Test, SkinGivesTheButtonFaceBackground) {
    putInProgramFolder("x/o.cjs", sourceFile("resources/x/o.cjs"));
    auto form = start();
    EXPECT_TRUE(dialogs.shown().isEmpty());
    EXPECT_EQ(common::Main::backgroundColor(form.get()), common::Main::buttonFaceColor());
    EXPECT_FALSE(form->styleSheet().isEmpty());
    EXPECT_EQ(form->windowTitle(), "Morrowlin");
}

TEST_F(Form1Test, OurHandCursorLoads) {
    putInProgramFolder("HAND-M.CUR", sourceFile("resources/HAND-M.CUR"));
    auto form = start();
    EXPECT_TRUE(dialogs.shown().isEmpty());
    ASSERT_TRUE(form->mousePointer().hasCustomCursor());
}

TEST_F(Form1Test, DamagedCursorGivesOneReportForLine108AndTheListStillLoads) {
    putInProgramFolder("HAND-M.CUR", "this is not a cursor");
    auto form = start();
    const auto reports = errorReports(dialogs);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].text.contains("in Morrowlin2017/04/05.Form1.Form_Load at line 108"));
    EXPECT_TRUE(reports[0].text.contains("HAND-M.CUR"));
    EXPECT_EQ(form->entries().count(), 6);
    EXPECT_FALSE(form->mousePointer().hasCustomCursor());
}

TEST_F(Form1Test, WebSiteOpensWhenTheDrawIsSeven) {
    random.queue(0.065);
    auto form = start();
    EXPECT_EQ(shell.opened, QStringList({"https://www.kestrune.example/"}));
}

struct LoadCase {
    const char* name;
    std::optional<QString> stored;  // nothing: no value stored
    EntryList rows;
    int reports;
};

class LoadEntries : public Form1Test, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadEntries, FillsTheListFromTheStore) {
    const LoadCase& c = GetParam();
    if (c.stored) store(*c.stored);
    auto form = start();
    EXPECT_EQ(form->entries().entries(), c.rows);
    const auto reports = errorReports(dialogs);
    EXPECT_EQ(reports.size(), c.reports);
    for (const auto& r : reports) EXPECT_TRUE(r.text.contains("Form1.Form_Load at line 148"));
    EXPECT_EQ(form->entries().headerData(0, Qt::Horizontal).toString(), "Label");
    EXPECT_EQ(form->entries().headerData(1, Qt::Horizontal).toString(), "Number (Value)");
}

const QString S1 = "||SEP1||";
const QString S2 = "||SEP2||";

INSTANTIATE_TEST_SUITE_P(
    Table, LoadEntries,
    ::testing::Values(LoadCase{"NothingStored", std::nullopt, EntryCodec::SampleEntries(), 0},
                      LoadCase{"EmptyStored", QString(""), {}, 0},
                      LoadCase{"Terminated", "Car" + S1 + "7500" + S2, {{"Car", "7500"}}, 0},
                      LoadCase{"Unterminated", "Car" + S1 + "7500", {{"Car", "7500"}}, 0},
                      LoadCase{"OnlySeparators", S2 + S2, {}, 0},
                      LoadCase{"PieceWithoutAmount", "Car", {{"Car", ""}}, 1},
                      LoadCase{"TwoPiecesWithoutAmount",
                               "A" + S2 + "B" + S1 + "2" + S2 + "C",
                               {{"A", ""}, {"B", "2"}, {"C", ""}},
                               2},
                      LoadCase{"ExtraPartsIgnored",
                               "Car" + S1 + "7500" + S1 + "11000" + S2,
                               {{"Car", "7500"}},
                               0},
                      LoadCase{"EmptyLabel", S1 + "7500" + S2, {{"", "7500"}}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form1Test, ClosingStoresTheListAndTheNextStartShowsIt) {
    {
        auto form = start();
        form->entries().clear();
        form->entries().appendAll({{QString::fromUtf8("Épargne ☂"), " 1,250 "}, {"Car", "7500"}});
        form->close();
    }
    EXPECT_EQ(storedList(settingsFile()).value_or("<absent>"),
              QString::fromUtf8("Épargne ☂") + S1 + " 1,250 " + S2 + "Car" + S1 + "7500" + S2);
    auto again = start();
    EXPECT_EQ(again->entries().entries(),
              EntryList({{QString::fromUtf8("Épargne ☂"), " 1,250 "}, {"Car", "7500"}}));
}

TEST_F(Form1Test, ClosingWithAnEmptyListStoresTheEmptyText) {
    {
        auto form = start();
        form->PushButton5_Click();
        form->close();
    }
    EXPECT_EQ(storedList(settingsFile()).value_or("<absent>"), QString(""));
    auto again = start();
    EXPECT_EQ(again->entries().count(), 0);
}

TEST_F(Form1Test, FortyThousandEntriesRoundTrip) {
    EntryList many;
    for (int i = 0; i < 40000; ++i) many.append({QString("Asset %1").arg(i), QString::number(i)});
    {
        auto form = start();
        form->entries().clear();
        form->entries().appendAll(many);
        form->close();
    }
    auto again = start();
    EXPECT_EQ(again->entries().count(), 40000);
    EXPECT_EQ(again->entries().entries(), many);
}

TEST_F(Form1Test, AFailedStoreOnCloseIsToldWithTheFileName) {
    auto form = start();
    ASSERT_TRUE(QDir(configDir()).mkpath("Kestrune.ini/blocker"));
    form->close();
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(dialogs.messages()[0].text.contains("Kestrune.ini"));
    EXPECT_EQ(dialogs.messages()[0].style, platform::kExclamation);
}

// Settings files written by hand or by other tools: what they hold is read, and closing stores
// the list and says nothing.
TEST_F(Form1Test, HandWrittenSettingsFilesAreReadAndClosingStoresWithoutAWord) {
    const QString list = "Car" + S1 + "7500" + S2;
    struct Row {
        const char* what;
        QByteArray bytes;
        EntryList shown;
    };
    const Row rows[] = {
        {"header only", "[Morrowlin]\n", EntryCodec::SampleEntries()},
        {"header only, no newline", "[Morrowlin]", EntryCodec::SampleEntries()},
        {"byte-order mark",
         "\xEF\xBB\xBF[Morrowlin]\nAssets=" + list.toUtf8() + "\n",
         {{"Car", "7500"}}},
        {"stray line above the group",
         "stray\n[Morrowlin]\nAssets=" + list.toUtf8() + "\n",
         {{"Car", "7500"}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        dialogs.clear();
        QFile::remove(settingsFile());
        writeFile(settingsFile(), r.bytes);
        auto form = start();
        EXPECT_EQ(form->entries().entries(), r.shown);
        form->entries().appendAll({{"Boat", "300"}});
        form->close();
        EXPECT_TRUE(dialogs.shown().isEmpty()) << dialogs.shown().value(0).text.toStdString();
        EntryList expected = r.shown;
        expected.append(Entry{"Boat", "300"});
        EXPECT_EQ(storedList(settingsFile()).value_or("<absent>"),
                  EntryCodec::EncodeEntries(expected));
        EXPECT_FALSE(QFileInfo::exists(settingsFile() + ".bak"));
    }
}

// A settings file that is there but cannot be read is told at start, the samples are shown, and
// closing keeps a copy of the file before it is replaced, or leaves it alone.
TEST_F(Form1Test, AnUnreadableSettingsFileIsToldAndKeptBeforeItIsReplaced) {
    enum Kind { Folder, NotText, LinkLoop };
    struct Row {
        const char* what;
        Kind kind;
        const char* reason;
    };
    const Row rows[] = {{"a folder", Folder, "it is a folder"},
                        {"bytes that are not text", NotText, "not text"},
                        {"a read error", LinkLoop, "could not be read: "}};
    const QByteArray garbage("\xFF\xFE[Morr\0owlin]\nAssets=\x80\x81\n", 25);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        dialogs.clear();
        QDir(configDir()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(configDir()));
        switch (r.kind) {
            case Folder:
                ASSERT_TRUE(QDir(configDir()).mkpath("Kestrune.ini/inside"));
                break;
            case NotText:
                writeFile(settingsFile(), garbage);
                break;
            case LinkLoop:
                ASSERT_TRUE(QFile::link(settingsFile(), settingsFile()));
                break;
        }
        auto form = start();
        EXPECT_EQ(form->entries().entries(), EntryCodec::SampleEntries());
        ASSERT_EQ(dialogs.messages().size(), 1);
        const QString text = dialogs.messages()[0].text;
        EXPECT_EQ(dialogs.messages()[0].style, platform::kExclamation);
        EXPECT_EQ(dialogs.messages()[0].title, "Morrowlin");
        EXPECT_TRUE(text.contains(QDir::toNativeSeparators(settingsFile()))) << text.toStdString();
        EXPECT_TRUE(text.contains(r.reason)) << text.toStdString();
        EXPECT_TRUE(text.contains("Kestrune.ini.bak")) << text.toStdString();

        dialogs.clear();
        form->close();
        const QString bak = settingsFile() + ".bak";
        if (r.kind == NotText) {
            EXPECT_TRUE(dialogs.shown().isEmpty());
            EXPECT_EQ(readFile(bak), garbage);
            EXPECT_EQ(storedList(settingsFile()).value_or("<absent>"),
                      EntryCodec::EncodeEntries(EntryCodec::SampleEntries()));
        } else {
            // Nothing could be copied, so nothing is replaced, and the close says so.
            ASSERT_EQ(dialogs.messages().size(), 1);
            EXPECT_TRUE(dialogs.messages()[0].text.contains("Kestrune.ini"));
            EXPECT_FALSE(QFileInfo::exists(bak));
            EXPECT_EQ(QFileInfo(settingsFile()).isDir(), r.kind == Folder);
            EXPECT_EQ(QFileInfo(settingsFile()).isSymLink(), r.kind == LinkLoop);
        }
    }
}

// A file QSettings reads only in part is told too; what could be read is shown and stored.
TEST_F(Form1Test, ADamagedSettingsFileIsToldAndWhatCouldBeReadIsShown) {
    const QByteArray damaged = "[Morrowlin\nAssets=Car||SEP1||7500||SEP2||\n";
    writeFile(settingsFile(), damaged);
    auto form = start();
    EXPECT_EQ(form->entries().entries(), EntryList({{"Car", "7500"}}));
    ASSERT_EQ(dialogs.messages().size(), 1);
    const QString text = dialogs.messages()[0].text;
    EXPECT_TRUE(text.contains("damaged")) << text.toStdString();
    EXPECT_TRUE(text.contains("The list shown is what could be read from it."))
        << text.toStdString();
    dialogs.clear();
    form->close();
    EXPECT_TRUE(dialogs.shown().isEmpty());
    EXPECT_EQ(readFile(settingsFile() + ".bak"), damaged);
    EXPECT_EQ(storedList(settingsFile()).value_or("<absent>"), "Car" + S1 + "7500" + S2);
}

// A copy kept earlier is not overwritten: the next free name is used and named at start.
TEST_F(Form1Test, AnEarlierCopyIsNotOverwritten) {
    writeFile(settingsFile() + ".bak", "earlier copy");
    writeFile(settingsFile(), QByteArray("\0\1\2", 3));
    auto form = start();
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(dialogs.messages()[0].text.contains("Kestrune.ini.bak.2"));
    form->close();
    EXPECT_EQ(readFile(settingsFile() + ".bak"), "earlier copy");
    EXPECT_EQ(readFile(settingsFile() + ".bak.2"), QByteArray("\0\1\2", 3));
}

// A termination signal stores the list as closing the main window does; the handler only wakes
// the event loop.
TEST_F(Form1Test, TerminationSignalsStoreTheListAsACloseDoes) {
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(number);
        auto form = start();
        form->entries().clear();
        form->entries().appendAll({{"Signal", QString::number(number)}});
        platform::TerminationSignals termination;
        QObject::connect(&termination, &platform::TerminationSignals::requested, form.get(),
                         &Form1::endProgram);
        ASSERT_EQ(::raise(number), 0);
        QElapsedTimer waited;
        waited.start();
        while (!storedList(settingsFile()) && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        EXPECT_EQ(storedList(settingsFile()).value_or("<absent>"),
                  EntryCodec::EncodeEntries({{"Signal", QString::number(number)}}));
        QFile::remove(settingsFile());
    }
}

struct ControlCase {
    const char* name;
    const char* caption;
    QRect twips;
};

class Form1Layout : public Form1Test, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(Form1Layout, ControlSitsAtItsPlace) {
    const ControlCase& c = GetParam();
    auto form = start();
    QWidget* control = form->findChild<QWidget*>(c.name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(),
              platform::twipsRect(c.twips.x(), c.twips.y(), c.twips.width(), c.twips.height()));
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        EXPECT_EQ(button->text(), c.caption);
        // Arial, drawn with the bundled Liberation Sans.
        EXPECT_EQ(QFontInfo(button->font()).family(), "Liberation Sans");
        EXPECT_TRUE(button->font().bold());
        EXPECT_DOUBLE_EQ(button->font().pointSizeF(), 11.25);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Form1Layout,
    ::testing::Values(
        ControlCase{"PushButton1", "Start Creating Template", QRect(120, 120, 7800, 405)},
        ControlCase{"PushButton6", "Help", QRect(120, 630, 3840, 405)},
        ControlCase{"PushButton7", "Load Sample/Example Data", QRect(4080, 630, 3840, 405)},
        ControlCase{"ListView1", "", QRect(120, 1140, 7800, 2535)},
        ControlCase{"PushButton2", "Add New", QRect(120, 3780, 3840, 405)},
        ControlCase{"PushButton3", "Delete Selected Entry", QRect(4080, 3780, 3840, 405)},
        ControlCase{"PushButton4", "Edit Selected Entry", QRect(120, 4290, 3840, 405)},
        ControlCase{"PushButton5", "Clear List", QRect(4080, 4290, 3840, 405)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Form1Test, WindowListAndTabOrder) {
    auto form = start();
    EXPECT_EQ(form->size(), QSize(platform::twipsToPixels(8040), platform::twipsToPixels(4800)));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    QTreeView* list = form->listView();
    EXPECT_EQ(list->toolTip(),
              "Drag and drop files here. Double-click item to remove it. Move | line to right and "
              "out of window to reveal full names.");
    EXPECT_TRUE(list->font().bold());
    EXPECT_DOUBLE_EQ(list->font().pointSizeF(), 9);
    EXPECT_EQ(list->columnWidth(0), platform::twipsToPixels(5000));
    EXPECT_EQ(list->columnWidth(1), platform::twipsToPixels(2000));

    QStringList order;
    QWidget* w = list;
    for (int guard = 0; guard < 200 && order.size() < 8; ++guard, w = w->nextInFocusChain()) {
        const QString name = w->objectName();
        if ((name.startsWith("PushButton") || name == "ListView1") && !order.contains(name))
            order << name;
    }
    EXPECT_EQ(order, QStringList({"ListView1", "PushButton1", "PushButton2", "PushButton3",
                                  "PushButton4", "PushButton5", "PushButton6", "PushButton7"}));
}

// A stored label of 100 KB without an amount: the report quotes its first 200 and last 50
// characters, so the box fits on the screen.
// Return on a focused button presses it, as Space does.
TEST_F(Form1Test, ReturnPressesTheFocusedButton) {
    auto form = start();
    auto* help = form->findChild<QPushButton*>("PushButton6");
    ASSERT_NE(help, nullptr);
    for (const int key : {Qt::Key_Return, Qt::Key_Enter}) {
        const auto shown = dialogs.messages().size();
        help->setFocus();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(help, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(help, &release);
        ASSERT_EQ(dialogs.messages().size(), shown + 1) << key;
        EXPECT_TRUE(dialogs.messages().last().text.startsWith("Questions?"));
    }
}

// Under a dark palette (a dark desktop theme) no control of either window shows text in a colour
// close to its ground: a window whose ground is fixed white gets dark text with it, everything
// else follows the theme. Checked for the ground and text roles each kind of control paints with,
// with and without the skin.
TEST_F(Form1Test, ADarkThemeLeavesNoTextOnAGroundOfItsOwnShade) {
    const QPalette before = QApplication::palette();
    QPalette dark;
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::AlternateBase,
                      QPalette::ToolTipBase})
        dark.setColor(role, QColor(0x2b, 0x2b, 0x2b));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                      QPalette::ToolTipText, QPalette::BrightText})
        dark.setColor(role, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    const auto lightness = [](const QColor& c) { return c.toHsl().lightnessF(); };
    for (const bool skinned : {false, true}) {
        if (skinned) putInProgramFolder("x/o.cjs", sourceFile("resources/x/o.cjs"));
        auto form = start();
        form->show();
        Form2* preview = form->preview();
        preview->show();
        QCoreApplication::processEvents();
        QList<QWidget*> widgets = form->findChildren<QWidget*>();
        widgets << form.get() << preview << preview->findChildren<QWidget*>();
        for (QWidget* w : widgets) {
            if (!w->isVisible()) continue;
            const QPalette& p = w->palette();
            struct Pair {
                QPalette::ColorRole ground, text;
            };
            for (const Pair& pair : {Pair{QPalette::Window, QPalette::WindowText},
                                     Pair{QPalette::Base, QPalette::Text},
                                     Pair{QPalette::Button, QPalette::ButtonText}}) {
                const double gap = std::abs(lightness(p.color(pair.ground)) -
                                            lightness(p.color(pair.text)));
                EXPECT_GT(gap, 0.4) << (skinned ? "skinned " : "") << w->metaObject()->className()
                                    << " " << w->objectName().toStdString() << ": roles "
                                    << int(pair.ground) << "/" << int(pair.text);
            }
        }
        preview->hide();
    }
    QApplication::setPalette(before);
}

// A screen reader names the list and reads each cell with its column's name.
TEST_F(Form1Test, TheListSpeaksItsNameAndEachCellWithItsColumn) {
    auto form = start();  // the samples
    form->show();
    QCoreApplication::processEvents();
    QAccessible::setActive(true);
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(form->listView());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->text(QAccessible::Name), "Assets");
    EXPECT_FALSE(list->text(QAccessible::Description).isEmpty());
    QAccessibleTableInterface* table = list->tableInterface();
    ASSERT_NE(table, nullptr);
    struct Cell {
        int row, column;
        const char* spoken;
    };
    for (const Cell& c : {Cell{0, 0, "Label: Savings"}, Cell{0, 1, "Number (Value): 25000"},
                          Cell{5, 0, "Label: Car"}, Cell{5, 1, "Number (Value): 7500"}}) {
        QAccessibleInterface* cell = table->cellAt(c.row, c.column);
        ASSERT_NE(cell, nullptr) << c.spoken;
        EXPECT_EQ(cell->text(QAccessible::Name), c.spoken);
    }
    // What the list shows stays the bare text.
    EXPECT_EQ(form->entries().index(0, 1).data().toString(), "25000");
}

TEST_F(Form1Test, AReportQuotesAHugeStoredLabelByItsHeadAndTail) {
    const QString label = "Head" + QString(100000, 'm') + "Tail";
    store(label + S2);
    auto form = start();
    const auto reports = errorReports(dialogs);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].text.startsWith("The stored entry \"" + label.left(200) + QChar(0x2026) +
                                           label.right(50) + "\" has no amount"))
        << reports[0].text.left(300).toStdString();
    EXPECT_LT(reports[0].text.size(), 600);
    ASSERT_EQ(form->entries().count(), 1);
    EXPECT_EQ(form->entries().at(0).label, label);  // the entry itself is kept whole
}

// The list's tooltip shows wherever the pointer rests on the list: over a label, over an amount
// and below the last row.
TEST_F(Form1Test, TheListsTooltipShowsOverTheRowsAndTheEmptyPart) {
    auto form = start();
    form->show();
    QTreeView* list = form->listView();
    QWidget* viewport = list->viewport();
    const QString expected =
        "Drag and drop files here. Double-click item to remove it. Move | line to right and out "
        "of window to reveal full names.";
    const QRect lastRow = list->visualRect(form->entries().index(5, 1));
    ASSERT_LT(lastRow.bottom() + 10, viewport->height());
    const QPoint places[] = {list->visualRect(form->entries().index(0, 0)).center(),
                             lastRow.center(), QPoint(10, viewport->height() - 5)};
    for (const QPoint& at : places) {
        QToolTip::hideText();
        QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &help);
        EXPECT_TRUE(QToolTip::isVisible()) << at.x() << "," << at.y();
        EXPECT_EQ(QToolTip::text().toStdString(), expected.toStdString())
            << at.x() << "," << at.y();
    }
    QToolTip::hideText();
}

// With the real list: Delete removes the selected row and selects none, so a second press is
// told that no entry is selected and removes nothing.
TEST_F(Form1Test, AfterDeleteNoRowIsSelected) {
    auto form = start();
    form->show();
    QTreeView* list = form->listView();
    list->setCurrentIndex(form->entries().index(2, 0));  // "Stocks"
    ASSERT_EQ(list->selectionModel()->selectedRows().size(), 1);
    auto* deleteButton = form->findChild<QPushButton*>("PushButton3");
    deleteButton->click();
    EntryList expected = EntryCodec::SampleEntries();
    expected.removeAt(2);
    EXPECT_EQ(form->entries().entries(), expected);
    EXPECT_TRUE(list->selectionModel()->selectedRows().isEmpty());
    EXPECT_TRUE(dialogs.shown().isEmpty());

    deleteButton->click();
    EXPECT_EQ(form->entries().entries(), expected);
    const auto reports = errorReports(dialogs);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].text.contains("Form1.PushButton3_Click at line 102"));
}

TEST_F(Form1Test, HoverCursorFollowsThePointerUnlessTheHourglassIsUp) {
    putInProgramFolder("HAND-M.CUR", sourceFile("resources/HAND-M.CUR"));
    auto form = start();
    form->show();
    common::MousePointer& pointer = form->mousePointer();
    auto moveOver = [](QWidget* w) {
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    };
    QWidget* button = form->findChild<QWidget*>("PushButton2");
    moveOver(button);
    EXPECT_EQ(pointer.value(), common::MousePointer::Custom);
    EXPECT_EQ(form->cursor().shape(), Qt::BitmapCursor);
    moveOver(form->listView()->viewport());
    EXPECT_EQ(pointer.value(), common::MousePointer::Default);
    moveOver(button);
    moveOver(form.get());
    EXPECT_EQ(pointer.value(), common::MousePointer::Default);
    pointer.set(common::MousePointer::Hourglass);
    moveOver(button);
    EXPECT_EQ(pointer.value(), common::MousePointer::Hourglass);
    EXPECT_EQ(form->cursor().shape(), Qt::WaitCursor);
}

}  // namespace

// ---- The list's keys, menu, clipboard, drop and undo ---------------------------------------

struct ListKeyCase {
    const char* name;
    int row;             // the row selected first, -1: none
    QStringList inputs;  // answers to the prompts
    QKeySequence key;    // pressed on the list, or
    const char* action;  // the context menu's action triggered
    EntryList expected;  // the list afterwards
};

void PrintTo(const ListKeyCase& c, std::ostream* os) { *os << c.name; }

class ListKeys : public Form1Test, public ::testing::WithParamInterface<ListKeyCase> {
  protected:
    void press(QWidget* list, const QKeySequence& key) {
        QTest::keyClick(list, key[0].key(), key[0].keyboardModifiers());
    }
};

// Each key or item does what its button does, is one step of the history, and is undone and
// redone by the keys.
TEST_P(ListKeys, DoWhatTheButtonsDoAndUndo) {
    const ListKeyCase& c = GetParam();
    auto form = start();
    form->show();
    QApplication::setActiveWindow(form.get());
    QTreeView* list = form->listView();
    list->setFocus();
    if (c.row >= 0) list->setCurrentIndex(form->entries().index(c.row, 0));
    for (const QString& input : c.inputs) dialogs.queueInput(input);
    if (c.action)
        form->listActions().action(c.action)->trigger();
    else
        press(list, c.key);
    EXPECT_EQ(form->entries().entries(), c.expected);
    EXPECT_TRUE(dialogs.messages().isEmpty());
    int prompts = 0;
    for (const auto& shown : dialogs.shown()) prompts += shown.kind == platform::ScriptedDialogs::Kind::Input;
    EXPECT_EQ(prompts, c.inputs.size());

    press(list, QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(form->entries().entries(), EntryCodec::SampleEntries());
    press(list, QKeySequence(Qt::CTRL | Qt::Key_Y));
    EXPECT_EQ(form->entries().entries(), c.expected);
    press(list, QKeySequence(Qt::CTRL | Qt::Key_Z));
    press(list, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_EQ(form->entries().entries(), c.expected);
}

EntryList samplesWith(const std::function<void(EntryList&)>& change) {
    EntryList list = EntryCodec::SampleEntries();
    change(list);
    return list;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ListKeys,
    ::testing::Values(
        ListKeyCase{"Delete", 2, {}, QKeySequence(Qt::Key_Delete), nullptr,
                    samplesWith([](EntryList& l) { l.removeAt(2); })},
        ListKeyCase{"F2", 0, {"Cash", "1"}, QKeySequence(Qt::Key_F2), nullptr,
                    samplesWith([](EntryList& l) { l[0] = {"Cash", "1"}; })},
        ListKeyCase{"Return", 5, {"Van", "2"}, QKeySequence(Qt::Key_Return), nullptr,
                    samplesWith([](EntryList& l) { l[5] = {"Van", "2"}; })},
        ListKeyCase{"Insert", -1, {"Boat", "5"}, QKeySequence(Qt::Key_Insert), nullptr,
                    samplesWith([](EntryList& l) { l.append(Entry{"Boat", "5"}); })},
        ListKeyCase{"MenuDelete", 0, {}, {}, "DeleteSelected",
                    samplesWith([](EntryList& l) { l.removeAt(0); })},
        ListKeyCase{"MenuSortByAmount", -1, {}, {}, "SortByAmount",
                    {{"House", "250000"}, {"401k", "55000"}, {"Savings", "25000"},
                     {"Stocks", "15000"}, {"Bonds", "11000"}, {"Car", "7500"}}},
        ListKeyCase{"MenuSortByAssetType", -1, {}, {}, "SortByAssetType",
                    {{"401k", "55000"}, {"Bonds", "11000"}, {"Car", "7500"}, {"House", "250000"},
                     {"Savings", "25000"}, {"Stocks", "15000"}}}));

TEST_F(Form1Test, TheListsMenuHoldsItsItemsInOrder) {
    auto form = start();
    QStringList items;
    for (QAction* action : form->listView()->actions())
        items << (action->isSeparator() ? QString("-") : action->text());
    EXPECT_EQ(items, QStringList({"Add New", "Edit Selected Entry", "Delete Selected Entry", "-",
                                  "Copy", "Paste", "-", "Undo", "Redo", "-",
                                  "Sort by Amount (Largest First)", "Sort by Asset Type"}));
    EXPECT_EQ(form->listView()->contextMenuPolicy(), Qt::ActionsContextMenu);
}

TEST_F(Form1Test, CopyAndPasteGoThroughTheClipboardAsText) {
    auto form = start();
    form->show();
    QApplication::setActiveWindow(form.get());
    QTreeView* list = form->listView();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              "Savings\t25000\n401k\t55000\nStocks\t15000\nHouse\t250000\nBonds\t11000\nCar\t7500\n");

    QGuiApplication::clipboard()->setText("Asset;Amount\r\nBoat;5\r\nKite;abc\r\n\"a;b\";1,000\r\n");
    QTest::keyClick(list, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(form->entries().entries(),
              samplesWith([](EntryList& l) { l.append(EntryList{{"Boat", "5"}, {"a;b", "1,000"}}); }));
    const auto messages = dialogs.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text.toStdString(),
              "1 of the 3 rows read from the clipboard was not added (2 added):\r\n"
              "line 3: the amount \"abc\" is not a number.");
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(form->entries().entries(), EntryCodec::SampleEntries());
}

TEST_F(Form1Test, DroppedFilesAddTheirRowsAndUnreadableOnesAreNamed) {
    QTemporaryDir dir;
    const QString csv = dir.filePath("list.csv"), latin = dir.filePath("latin.txt");
    const QString xlt = dir.filePath("book.xlt"), png = dir.filePath("picture.png");
    writeFile(csv, "\xFF\xFE" + QByteArray("B\0o\0a\0t\0,\0" "5\0", 12));
    writeFile(latin, "Caf\xE9\t5");
    writeFile(xlt, sourceFile("resources/Pie Chart.xlt"));
    writeFile(png, "not a list");
    auto form = start();
    form->show();
    QWidget* viewport = form->listView()->viewport();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(csv), QUrl::fromLocalFile(latin), QUrl::fromLocalFile(xlt),
                  QUrl::fromLocalFile(png)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);

    EntryList expected = EntryCodec::SampleEntries();
    expected.append(Entry{"Boat", "5"});
    expected += EntryCodec::SampleEntries();
    EXPECT_EQ(form->entries().entries(), expected);
    const auto messages = dialogs.messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].text.contains(QString("The file \"%1\" could not be read: it is neither "
                                                  "UTF-8").arg(QDir::toNativeSeparators(latin))));
    EXPECT_TRUE(messages[0].text.contains(QString("The file \"%1\" could not be read: only .csv")
                                              .arg(QDir::toNativeSeparators(png))));
    form->listActions().undo();
    EXPECT_EQ(form->entries().entries(), EntryCodec::SampleEntries());
}
