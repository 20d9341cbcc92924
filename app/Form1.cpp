#include "app/Form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QIcon>
#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTreeView>

#include "app/ChartBuild.h"
#include "app/ListActions.h"
#include "common/AccessibleRole.h"
#include "common/CursorFile.h"
#include "common/ErrorTrap.h"
#include "common/Failure.h"
#include "common/Main.h"
#include "common/MousePointer.h"
#include "entries/EntryCodec.h"
#include "entries/EntryCommands.h"
#include "entries/EntryListModel.h"
#include "platform/Dialogs.h"
#include "platform/SettingsStore.h"
#include "platform/Twips.h"
#include "preview/Form2.h"
#include "xls/draw/BundledFonts.h"

namespace {

// The program's icon, read without loading the toolkit's image-format plugins.
QIcon programIcon() {
    QFile file(QStringLiteral(":/morrowlin.png"));
    file.open(QIODevice::ReadOnly);
    return QIcon(QPixmap::fromImage(common::readBuiltInPng(file.readAll())));
}

// Client area in twips.
constexpr int kClientWidth = 8040;
constexpr int kClientHeight = 4800;

QFont buttonFont() {
    QFont font = xls::draw::bundledFont("Arial");
    font.setPointSizeF(11.25);
    font.setBold(true);
    return font;
}

QFont listFont() {
    QFont font = xls::draw::bundledFont("Arial");
    font.setPointSizeF(9);
    font.setWeight(QFont::Bold);
    return font;
}

}  // namespace

Form1::Form1(const common::Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      services_(services),
      model_(std::make_unique<EntryListModel>()) {
    common::setAccessibleRole(this, QAccessible::Window);
    setObjectName("Form1");
    common::Main::setBackgroundColor(this, QColor(0xFF, 0xFF, 0xFF));
    setFixedSize(platform::twipsToPixels(kClientWidth), platform::twipsToPixels(kClientHeight));
    createControls();
    placeControls();
    connectHandlers();
    commands_ =
        std::make_unique<EntryCommands>(*model_, *ListView1->selectionModel(), *services_.dialogs);
    listActions_ = new app::ListActions(*this, *model_, *ListView1, *services_.dialogs);
}

Form1::~Form1() { delete form2_; }

void Form1::createControls() {
    auto makeButton = [this](const char* name, const char* caption) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(name);
        button->setFont(buttonFont());
        button->setAutoDefault(true);  // Return presses the focused button, as Space does
        return button;
    };
    PushButton1 = makeButton("PushButton1", "Start Creating Template");
    PushButton6 = makeButton("PushButton6", "Help");
    PushButton7 = makeButton("PushButton7", "Load Sample/Example Data");
    PushButton2 = makeButton("PushButton2", "Add New");
    PushButton3 = makeButton("PushButton3", "Delete Selected Entry");
    PushButton4 = makeButton("PushButton4", "Edit Selected Entry");
    PushButton5 = makeButton("PushButton5", "Clear List");

    ListView1 = new QTreeView(this);
    ListView1->setObjectName("ListView1");
    ListView1->setAccessibleName("Assets");
    ListView1->setAccessibleDescription(
        "The list of asset types and their amounts that the chart is made of.");
    ListView1->setModel(model_.get());
    ListView1->setFont(listFont());
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSortingEnabled(false);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->header()->setStretchLastSection(false);
    ListView1->header()->setSectionsMovable(false);
    ListView1->setToolTip(
        "Drag and drop files here. Double-click item to remove it. Move | line to right and out "
        "of window to reveal full names.");

    pointer_ = new common::MousePointer(this);
    pointer_->watchAsBackground(this);
    pointer_->watchAsBackground(ListView1);
    pointer_->watchAsBackground(ListView1->viewport());
    for (QPushButton* b : {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5,
                           PushButton6, PushButton7})
        pointer_->watchAsButton(b);
}

void Form1::placeControls() {
    using platform::twipsRect;
    PushButton1->setGeometry(twipsRect(120, 120, 7800, 405));
    PushButton6->setGeometry(twipsRect(120, 630, 3840, 405));
    PushButton7->setGeometry(twipsRect(4080, 630, 3840, 405));
    ListView1->setGeometry(twipsRect(120, 1140, 7800, 2535));
    PushButton2->setGeometry(twipsRect(120, 3780, 3840, 405));
    PushButton3->setGeometry(twipsRect(4080, 3780, 3840, 405));
    PushButton4->setGeometry(twipsRect(120, 4290, 3840, 405));
    PushButton5->setGeometry(twipsRect(4080, 4290, 3840, 405));

    // Tab order: the list first, then the buttons by number.
    QWidget::setTabOrder(ListView1, PushButton1);
    QWidget::setTabOrder(PushButton1, PushButton2);
    QWidget::setTabOrder(PushButton2, PushButton3);
    QWidget::setTabOrder(PushButton3, PushButton4);
    QWidget::setTabOrder(PushButton4, PushButton5);
    QWidget::setTabOrder(PushButton5, PushButton6);
    QWidget::setTabOrder(PushButton6, PushButton7);
    ListView1->setFocus();
}

void Form1::connectHandlers() {
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
}

void Form1::Form_Load() {
    common::ErrorTrap trap(*services_.dialogs, "Form1.Form_Load");
    const QString folder = services_.programFolder;
    const QString cursorPath = common::Main::pathIn(folder, "HAND-M.CUR");

    trap.step(102, [&] { common::Main::ApplySkin(this, SkinFramework1, folder); });
    trap.step(104, [&] { setWindowTitle(common::Main::kDisplayName); });
    trap.step(104, [&] { setWindowIcon(programIcon()); });
    trap.step(104, [&] { common::Main::SetApplicationTitle(); });
    if (trap.test(106, [&] { return common::Main::FileExists(cursorPath); }))
        trap.step(108, [&] {
            pointer_->setCustomCursor(common::loadCursorFile(cursorPath, platform::pictureScale()));
        });
    trap.step(110, [&] { common::Main::OpenWebSiteAtRandom(*services_.random, *services_.shell); });
    LoadEntries();

    // Centred on the screen when first shown.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void Form1::LoadEntries() {
    common::ErrorTrap trap(*services_.dialogs, "Form1.Form_Load");
    QString stored;
    QList<EntryCodec::StoredPiece> pieces;

    trap.step(128, [&] { model_->addColumn("Label"); });
    trap.step(130, [&] { model_->addColumn("Number (Value)"); });
    trap.step(132, [&] { ListView1->setColumnWidth(0, platform::twipsToPixels(5000)); });
    trap.step(134, [&] { ListView1->setColumnWidth(1, platform::twipsToPixels(2000)); });
    platform::SettingsStore::ReadResult read;
    trap.step(136, [&] {
        read = platform::SettingsStore::readChecked(EntryCodec::kApplication, EntryCodec::kSection,
                                                    EntryCodec::kKey);
        stored = read.text.value_or(EntryCodec::DefaultStoredText());
    });
    if (read.failure) tellUnreadableSettings(*read.failure, read.text.has_value());
    trap.step(138, [&] { pieces = EntryCodec::SplitStoredText(stored); });

    // The rows are gathered and added in one go; a piece without an amount still gives its row
    // and one report.
    EntryList rows;
    rows.reserve(pieces.size());
    for (const EntryCodec::StoredPiece& piece : pieces) {
        rows.append({piece.label, QString("")});
        trap.step(148, [&] {
            if (!piece.amount)
                throw common::Failure(
                    QString("The stored entry \"%1\" has no amount: the separator \"%2\" is "
                            "missing, so the entry is loaded with an empty amount.")
                        .arg(platform::messageExcerpt(piece.label), EntryCodec::kLabelSeparator));
            rows.last().amount = *piece.amount;
        });
    }
    trap.step(146, [&] { model_->appendAll(rows); });
}

// A settings file that is there but cannot be read is not taken for "nothing stored": the user
// is told, and the file is kept as a copy before the list replaces it.
void Form1::tellUnreadableSettings(const QString& failure, bool somethingRead) {
    keepSettingsFile_ = true;
    const QString backup = platform::SettingsStore::backupPath(EntryCodec::kApplication);
    services_.dialogs->messageBox(
        failure + "\r\n\r\n" +
            (somethingRead ? QString("The list shown is what could be read from it.")
                           : QString("The sample entries are shown instead.")) +
            QString(" The file is not replaced when the list is stored unless a copy of it is "
                    "first kept as \"%1\".")
                .arg(QDir::toNativeSeparators(backup)),
        platform::kExclamation);
}

QString Form1::EncodeEntries() const { return EntryCodec::EncodeEntries(model_->entries()); }

std::optional<QString> Form1::StoreEntries() {
    if (keepSettingsFile_) {
        if (const auto failure = platform::SettingsStore::keepCopy(EntryCodec::kApplication))
            return *failure + " So that it is not lost, the list was not stored in it.";
        keepSettingsFile_ = false;
    }
    return platform::SettingsStore::write(EntryCodec::kApplication, EntryCodec::kSection,
                                          EntryCodec::kKey, EncodeEntries());
}

void Form1::PushButton1_Click() {
    // Pending events run inside the build (while files are written and deleted); a second press
    // seen then is ignored rather than starting a build inside the build, and a close seen then
    // waits for the build's end.
    if (building_) return;
    building_ = true;
    app::ChartBuild(*this, services_).run();
    building_ = false;
    if (closeWhenBuilt_) {
        closeWhenBuilt_ = false;
        endProgram();
    }
}

void Form1::endProgram() {
    if (building_) {
        closeWhenBuilt_ = true;
        return;
    }
    if (form2_ && form2_->isVisible())
        form2_->close();
    else
        close();
}

// Each change of the list is one step of its undo history.
void Form1::PushButton2_Click() { listActions_->recorded([&] { commands_->AddNew(); }); }
void Form1::PushButton3_Click() { listActions_->recorded([&] { commands_->DeleteSelected(); }); }
void Form1::PushButton4_Click() { listActions_->recorded([&] { commands_->EditSelected(); }); }
void Form1::PushButton5_Click() { listActions_->recorded([&] { commands_->ClearList(); }); }
void Form1::PushButton6_Click() { commands_->Help(); }
void Form1::PushButton7_Click() { listActions_->recorded([&] { commands_->LoadSamples(); }); }

Form2* Form1::preview() {
    if (!form2_) form2_ = new Form2(*services_.dialogs, this);
    return form2_;
}

void Form1::closeEvent(QCloseEvent* event) {
    if (building_) {  // the build hands its workbook to the Preview first; see PushButton1_Click
        closeWhenBuilt_ = true;
        event->ignore();
        return;
    }
    Form_QueryUnload();
    event->accept();
    Form_Unload();
}

void Form1::Form_QueryUnload() {
    if (const std::optional<QString> failure = StoreEntries()) {
        services_.dialogs->messageBox(
            *failure + "\r\n\r\nThe changes made to the list since it was last saved are lost.",
            platform::kExclamation);
    }
}

void Form1::Form_Unload() { QCoreApplication::exit(0); }
