// "Save Results To Excel File" and "< Back" on real files.
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <functional>

#include "PreviewFixture.h"

namespace {

using platform::ScriptedDialogs;

class PreviewSave : public PreviewFixture {
  protected:
    void SetUp() override {
        PreviewFixture::SetUp();
        ASSERT_TRUE(out.isValid());
        newCase();
    }

    // Each case saves into a folder of its own, with a fresh temporary workbook.
    void newCase() {
        ++caseNumber;
        ASSERT_TRUE(QDir(out.path()).mkdir(QString::number(caseNumber)));
        newWindow();
        workbook = handOverWorkbook();
    }
    QString folder() const { return QDir(out.path()).filePath(QString::number(caseNumber)); }
    QString target(const QString& name) const { return QDir(folder()).filePath(name); }
    QStringList filesInOut() const {
        QStringList names = QDir(folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                     QDir::Hidden | QDir::System);
        names.sort();
        return names;
    }
    void save() { control<QPushButton>("PushButton6")->click(); }

    QTemporaryDir out;
    QString workbook;
    int caseNumber = 0;
};

const QByteArray kOld("old workbook, not to be lost");

void expectDone(const ScriptedDialogs::Shown& box) {
    EXPECT_EQ(box.text, "Done.");
    EXPECT_EQ(box.style, 0);
    EXPECT_EQ(box.title, "Morrowlin");
}

}  // namespace

TEST_F(PreviewSave, OutcomesOfTheDialogAndTheOverwriteQuestion) {
    struct Row {
        QString chosen;  // "" cancels the dialog
        bool existing;
        int answer;  // to the overwrite question
        bool copied;
        QStringList filesAfter;
    };
    // A name of 240 characters makes a path of more than 250: the question quotes its first 200
    // and last 50 characters.
    const QString longName = QString(236, u'n') + ".xls";
    const Row rows[] = {
        {"", false, 0, false, {}},
        {"result.xls", false, 0, true, {"result.xls"}},
        {"result", false, 0, true, {"result"}},  // no extension added
        {"old.xls", true, platform::kAnswerNo, false, {"old.xls"}},
        {"old.xls", true, platform::kAnswerYes, true, {"old.xls"}},
        {longName, true, platform::kAnswerNo, false, {longName}},
    };
    for (const Row& r : rows) {
        newCase();
        const QString path = !r.chosen.isEmpty() ? target(r.chosen) : QString("");
        if (r.existing) writeFile(path, kOld);
        dialogs.queueSaveName(path);
        if (r.answer) dialogs.queueAnswer(r.answer);
        save();

        const auto& shown = dialogs.shown();
        ASSERT_GE(shown.size(), 2) << r.chosen.toStdString();
        EXPECT_EQ(shown[0].kind, ScriptedDialogs::Kind::SaveFile);
        EXPECT_EQ(shown[0].title, "Save File");
        EXPECT_EQ(shown[0].filter, "Excel Files (*.xls)");
        EXPECT_EQ(shown[0].initialText, "");
        const auto messages = dialogs.messages();
        ASSERT_EQ(messages.size(), r.existing ? 2 : 1) << r.chosen.toStdString();
        if (r.existing) {
            const QString quoted =
                path.size() > 250 ? path.left(200) + QChar(0x2026) + path.right(50) : path;
            EXPECT_EQ(messages[0].text, "Are you sure you wish to overwrite " + quoted + " ?");
            EXPECT_EQ(messages[0].style, 4);
            EXPECT_EQ(messages[0].title, "Morrowlin");
        }
        expectDone(messages.last());

        EXPECT_EQ(filesInOut(), r.filesAfter) << r.chosen.toStdString();
        if (r.copied) {
            EXPECT_EQ(readFile(path), readFile(workbook)) << r.chosen.toStdString();
        }
        if (r.existing && !r.copied) {
            EXPECT_EQ(readFile(path), kOld) << r.chosen.toStdString();
        }
        EXPECT_TRUE(QFileInfo::exists(workbook));
    }
}

TEST_F(PreviewSave, TwoSavesGiveTwoIdenticalCopies) {
    dialogs.queueSaveName(target("first.xls"));
    dialogs.queueSaveName(target("second.xls"));
    save();
    save();
    const QByteArray original = readFile(workbook);
    ASSERT_EQ(original.size(), 6000);
    EXPECT_EQ(readFile(target("first.xls")), original);
    EXPECT_EQ(readFile(target("second.xls")), original);
    EXPECT_EQ(filesInOut(), QStringList({"first.xls", "second.xls"}));
    ASSERT_EQ(dialogs.messages().size(), 2);
    expectDone(dialogs.messages()[0]);
    expectDone(dialogs.messages()[1]);
    EXPECT_EQ(form->mExcelFile, workbook);
}

TEST_F(PreviewSave, FailedCopyIsReportedLeavesTheOldFileAndSaysNoDone) {
    enum Fault { MissingFolder, TargetIsFolder, MissingWorkbook };
    struct Row {
        const char* what;
        Fault fault;
    };
    const Row rows[] = {{"target folder missing", MissingFolder},
                        {"target is a folder", TargetIsFolder},
                        {"temporary workbook missing", MissingWorkbook}};
    for (const Row& r : rows) {
        newCase();
        QString path;
        QStringList before;
        switch (r.fault) {
            case MissingFolder:
                path = target("no such folder/result.xls");
                break;
            case TargetIsFolder:
                path = target("folder.xls");
                ASSERT_TRUE(QDir(folder()).mkdir("folder.xls"));
                break;
            case MissingWorkbook:
                path = target("old.xls");
                writeFile(path, kOld);
                ASSERT_TRUE(QFile::remove(workbook));
                break;
        }
        before = filesInOut();
        dialogs.queueSaveName(path);
        dialogs.queueAnswer(platform::kAnswerYes);
        save();

        const auto messages = dialogs.messages();
        ASSERT_FALSE(messages.isEmpty()) << r.what;
        const auto& report = messages.last();
        EXPECT_EQ(report.title, "Application Error") << r.what;
        EXPECT_EQ(report.style, 48) << r.what;
        EXPECT_TRUE(
            report.text.contains("\r\nin Morrowlin2017/04/05.Form2.PushButton6_Click at "
                                 "line 130\r\n\r\n"))
            << r.what << ": " << report.text.toStdString();
        for (const auto& box : messages) EXPECT_NE(box.text, "Done.") << r.what;
        EXPECT_EQ(filesInOut(), before) << r.what;  // nothing partial left behind
        if (r.fault == MissingWorkbook) {
            EXPECT_EQ(readFile(path), kOld);
        }
        if (r.fault == TargetIsFolder) {
            EXPECT_TRUE(QFileInfo(path).isDir());
        }
    }
}

namespace {

// Runs `body` where file permissions apply: in a child process that has given up root, or here
// when the tests do not run as root. Returns body's result (a failure code from the child).
int withoutRoot(const std::function<int()>& body) {
    if (::geteuid() != 0) return body();
    const pid_t child = ::fork();
    if (child < 0) return 100;
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::geteuid() == 0) ::_exit(101);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 102;
    return WEXITSTATUS(status);
}

}  // namespace

// A folder where no new file can be made, with a writable file in it that the user agrees to
// replace: the workbook is written into that file in place. A file that cannot be written there
// either is reported by its name and left as it was.
TEST_F(PreviewSave, AWritableFileInAFolderWithoutRoomForNewFilesIsWrittenInPlace) {
    for (const bool targetWritable : {true, false}) {
        SCOPED_TRACE(targetWritable ? "writable file" : "read-only file");
        newCase();
        const QString path = target("old.xls");
        writeFile(path, kOld);
        ASSERT_TRUE(QFile::setPermissions(path, targetWritable ? QFileDevice::Permissions(0x6666)
                                                               : QFileDevice::Permissions(0x4444)));
        for (const QString& dir : {tempDir(), out.path()})
            ASSERT_TRUE(QFile::setPermissions(dir, QFileDevice::Permissions(0x7755)));
        ASSERT_TRUE(QFile::setPermissions(workbook, QFileDevice::Permissions(0x6444)));
        ASSERT_TRUE(QFile::setPermissions(folder(), QFileDevice::Permissions(0x5555)));

        const int outcome = withoutRoot([&] {
            dialogs.queueSaveName(path);
            dialogs.queueAnswer(platform::kAnswerYes);
            save();
            const auto messages = dialogs.messages();
            if (messages.size() != 2) return 10;
            if (!messages[0].text.startsWith("Are you sure you wish to overwrite ")) return 11;
            if (targetWritable) {
                if (messages[1].text != "Done.") return 12;
                if (readFile(path) != readFile(workbook)) return 13;
            } else {
                if (messages[1].title != "Application Error") return 14;
                if (!messages[1].text.contains(QDir::toNativeSeparators(path))) return 15;
                if (!messages[1].text.contains("at line 130")) return 16;
                if (readFile(path) != kOld) return 17;
            }
            return 0;
        });
        QFile::setPermissions(folder(), QFileDevice::Permissions(0x7700));
        EXPECT_EQ(outcome, 0);
        EXPECT_EQ(filesInOut(), QStringList({"old.xls"}));  // nothing else left in the folder
    }
}

TEST_F(PreviewSave, BackDeletesTheWorkbookShowsTheMainWindowAndHides) {
    for (bool workbookThere : {true, false}) {
        newCase();
        if (!workbookThere) {
            ASSERT_TRUE(QFile::remove(workbook));
        }
        form->show();
        control<QPushButton>("PushButton8")->click();
        EXPECT_FALSE(QFileInfo::exists(workbook));
        EXPECT_TRUE(filesInTemp().isEmpty());
        EXPECT_EQ(form->mExcelFile, workbook);
        EXPECT_TRUE(mainWindow->isVisible());
        EXPECT_FALSE(form->isVisible());
        EXPECT_TRUE(dialogs.shown().isEmpty());
        EXPECT_EQ(mainWindow->closeRequests, 0);
    }
}

TEST_F(PreviewSave, BackWithoutMainWindowIsReportedAndStillHides) {
    Form2 orphan(dialogs, nullptr);
    orphan.mExcelFile = workbook;
    orphan.show();
    orphan.PushButton8_Click();
    EXPECT_FALSE(QFileInfo::exists(workbook));
    EXPECT_FALSE(orphan.isVisible());
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(dialogs.messages()[0].text.contains(
        "in Morrowlin2017/04/05.Form2.PushButton8_Click at line 104"));
}
