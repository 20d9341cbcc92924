#include "app/ListActions.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>

#include "app/Form1.h"
#include "entries/EntryFile.h"
#include "entries/EntryImport.h"
#include "entries/EntryListModel.h"
#include "entries/EntryOrder.h"
#include "platform/Dialogs.h"

namespace app {

namespace {

QStringList localFiles(const QMimeData* mime) {
    QStringList paths;
    if (mime == nullptr || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) paths.append(url.toLocalFile());
    return paths;
}

QString joined(const QString& a, const QString& b) {
    if (a.isEmpty()) return b;
    if (b.isEmpty()) return a;
    return a + "\r\n\r\n" + b;
}

}  // namespace

ListActions::ListActions(Form1& form, EntryListModel& model, QTreeView& list,
                         platform::Dialogs& dialogs)
    : QObject(&list), form_(form), model_(model), list_(list), dialogs_(dialogs) {
    createActions();
    list_.setContextMenuPolicy(Qt::ActionsContextMenu);
    list_.setAcceptDrops(true);
    list_.setDropIndicatorShown(false);
    list_.viewport()->installEventFilter(this);
    updateActions();
}

QAction* ListActions::addAction(const char* name, const QString& text,
                                const QList<QKeySequence>& keys) {
    auto* action = new QAction(text, &list_);
    action->setObjectName(name);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    list_.addAction(action);
    return action;
}

void ListActions::createActions() {
    auto separator = [this] {
        auto* line = new QAction(&list_);
        line->setSeparator(true);
        list_.addAction(line);
    };
    connect(addAction("AddNew", "Add New", {Qt::Key_Insert}), &QAction::triggered, &form_,
            &Form1::PushButton2_Click);
    connect(addAction("EditSelected", "Edit Selected Entry",
                      {Qt::Key_F2, Qt::Key_Return, Qt::Key_Enter}),
            &QAction::triggered, &form_, &Form1::PushButton4_Click);
    connect(addAction("DeleteSelected", "Delete Selected Entry", {QKeySequence::Delete}),
            &QAction::triggered, &form_, &Form1::PushButton3_Click);
    separator();
    connect(addAction("Copy", "Copy", {QKeySequence::Copy}), &QAction::triggered, this,
            &ListActions::copy);
    connect(addAction("Paste", "Paste", {QKeySequence::Paste}), &QAction::triggered, this,
            &ListActions::paste);
    separator();
    undo_ = addAction("Undo", "Undo", {QKeySequence(Qt::CTRL | Qt::Key_Z)});
    connect(undo_, &QAction::triggered, this, &ListActions::undo);
    redo_ = addAction(
        "Redo", "Redo",
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    connect(redo_, &QAction::triggered, this, &ListActions::redo);
    separator();
    connect(addAction("SortByAmount", "Sort by Amount (Largest First)", {}), &QAction::triggered,
            this, &ListActions::sortByAmount);
    connect(addAction("SortByAssetType", "Sort by Asset Type", {}), &QAction::triggered, this,
            &ListActions::sortByAssetType);
}

QAction* ListActions::action(const QString& name) const {
    for (QAction* a : list_.actions())
        if (a->objectName() == name) return a;
    return nullptr;
}

void ListActions::updateActions() {
    undo_->setEnabled(history_.canUndo());
    redo_->setEnabled(history_.canRedo());
}

EntryList ListActions::entriesNow() const { return model_.entries(); }

void ListActions::record(const EntryList& before) {
    history_.record(before, entriesNow());
    updateActions();
}

void ListActions::show(const EntryList& entries) {
    list_.selectionModel()->clear();
    model_.clear();
    model_.appendAll(entries);
}

void ListActions::copy() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard != nullptr) clipboard->setText(EntryImport::copyText(entriesNow()));
}

void ListActions::paste() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QString text = clipboard != nullptr ? clipboard->text() : QString();
    if (text.isEmpty()) {
        dialogs_.messageBox("The clipboard holds no text to add to the list.",
                            platform::kExclamation);
        return;
    }
    const EntryImport::Result rows = EntryImport::parseText(text);
    appendRows(rows.entries, EntryImport::refusalMessage("the clipboard", rows));
}

void ListActions::dropFiles(const QStringList& paths) {
    EntryList added;
    QString told;
    for (const QString& path : paths) {
        const QString name =
            QString("\"%1\"").arg(platform::messageExcerpt(QDir::toNativeSeparators(path)));
        const EntryFile::Read read = EntryFile::read(path);
        if (read.failure) {
            told = joined(told, QString("The file %1 could not be read: %2. Nothing was added "
                                        "from it.")
                                    .arg(name, *read.failure));
            continue;
        }
        added += read.rows.entries;
        told = joined(told, EntryImport::refusalMessage(name, read.rows));
    }
    appendRows(added, told);
}

void ListActions::appendRows(const EntryList& entries, const QString& refusals) {
    recorded([&] { model_.appendAll(entries); });
    if (!refusals.isEmpty()) dialogs_.messageBox(refusals, platform::kExclamation);
}

void ListActions::undo() {
    if (const std::optional<EntryList> previous = history_.undo(entriesNow())) show(*previous);
    updateActions();
}

void ListActions::redo() {
    if (const std::optional<EntryList> next = history_.redo(entriesNow())) show(*next);
    updateActions();
}

void ListActions::sortByAmount() {
    recorded([&] { show(EntryOrder::byAmountLargestFirst(entriesNow())); });
}

void ListActions::sortByAssetType() {
    recorded([&] { show(EntryOrder::byAssetType(entriesNow())); });
}

bool ListActions::eventFilter(QObject* watched, QEvent* event) {
    if (watched != list_.viewport()) return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (localFiles(drag->mimeData()).isEmpty()) return false;
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList paths = localFiles(drop->mimeData());
            if (paths.isEmpty()) return false;
            drop->acceptProposedAction();
            dropFiles(paths);
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
    }
}

}  // namespace app
