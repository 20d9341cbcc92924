#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>

#include "common/Failure.h"
#include "common/Main.h"
#include "common/SkinFramework.h"
#include "platform/RandomSource.h"
#include "preview/PictureBox.h"
#include "support/Doubles.h"
#include "support/TestEnv.h"

namespace {

class MainHelpers : public TestEnv {
  protected:
    QString inTemp(const QString& name) const { return QDir(tempDir()).filePath(name); }
};

TEST_F(MainHelpers, FileExistsNeverFails) {
    writeFile(inTemp("a.txt"), "x");
    EXPECT_TRUE(common::Main::FileExists(inTemp("a.txt")));
    EXPECT_FALSE(common::Main::FileExists(""));
    EXPECT_FALSE(common::Main::FileExists(inTemp("missing.txt")));
    EXPECT_FALSE(common::Main::FileExists(inTemp("no/such/folder/a.txt")));
    EXPECT_FALSE(common::Main::FileExists(QString::fromLatin1("bad\0name", 8)));
}

TEST_F(MainHelpers, WriteNewFileWritesExactlyTheBytesOnce) {
    QByteArray bytes;
    for (int i = 0; i < 70000; ++i) bytes.append(char(i * 7));
    common::Main::WriteNewFile(bytes, inTemp("t.xlt"));
    EXPECT_EQ(readFile(inTemp("t.xlt")), bytes);

    // An existing file is left untouched, whatever it holds.
    common::Main::WriteNewFile(QByteArray("other"), inTemp("t.xlt"));
    EXPECT_EQ(readFile(inTemp("t.xlt")), bytes);

    common::Main::WriteNewFile(QByteArray(), inTemp("empty"));
    EXPECT_TRUE(QFile::exists(inTemp("empty")));
    EXPECT_EQ(QFileInfo(inTemp("empty")).size(), 0);
}

TEST_F(MainHelpers, WriteNewFileFailureNamesTheFileAndLeavesNothing) {
    const QString target = inTemp("no-folder/t.xlt");
    try {
        common::Main::WriteNewFile("abc", target);
        FAIL() << "expected a failure";
    } catch (const common::Failure& f) {
        EXPECT_TRUE(QString::fromUtf8(f.what()).contains("t.xlt")) << f.what();
    }
    EXPECT_TRUE(filesInTemp().isEmpty());
}

TEST_F(MainHelpers, DeleteFileQuietlyIgnoresEveryFailure) {
    writeFile(inTemp("d.xls"), "x");
    common::Main::DeleteFileQuietly(inTemp("d.xls"));
    EXPECT_FALSE(QFile::exists(inTemp("d.xls")));
    common::Main::DeleteFileQuietly(inTemp("d.xls"));
    common::Main::DeleteFileQuietly("");
    common::Main::DeleteFileQuietly(inTemp("no/such/file"));
    QDir(tempDir()).mkdir("folder");
    common::Main::DeleteFileQuietly(inTemp("folder"));
    EXPECT_TRUE(QFileInfo(inTemp("folder")).isDir());
    // A link goes, never what it points to.
    writeFile(inTemp("important.txt"), "keep me");
    ASSERT_TRUE(QFile::link(inTemp("important.txt"), inTemp("link.xls")));
    common::Main::DeleteFileQuietly(inTemp("link.xls"));
    EXPECT_FALSE(QFileInfo(inTemp("link.xls")).isSymLink());
    EXPECT_EQ(readFile(inTemp("important.txt")), QByteArray("keep me"));
}

struct TitleCase {
    QString displayName;
    QString title;
};

class ApplicationTitle : public ::testing::TestWithParam<TitleCase> {};

TEST_P(ApplicationTitle, DropsTheLastWordThenWholeWordsDownToForty) {
    EXPECT_EQ(common::Main::ApplicationTitleFor(GetParam().displayName), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ApplicationTitle,
    ::testing::Values(TitleCase{"Morrowlin", "Morrowlin"},
                      TitleCase{"Morrowlin Pie Charts", "Morrowlin Pie"}, TitleCase{"A B", "A"},
                      TitleCase{"Trailing ", "Trailing"},
                      // 40 characters with a space: exactly one word goes.
                      TitleCase{"abcdefghij abcdefghij abcdefghij abcdefg",
                                "abcdefghij abcdefghij abcdefghij"},
                      // 60 characters: words go from the end until 40 or fewer are left.
                      TitleCase{"aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd eeeeeeeee fffffffff0",
                                "aaaaaaaaa bbbbbbbbb ccccccccc ddddddddd"},
                      TitleCase{"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa b",
                                "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"}));

struct WebCase {
    double r;
    bool opens;
};

class WebSiteDraw : public ::testing::TestWithParam<WebCase> {};

TEST_P(WebSiteDraw, OpensOnlyWhenNIsSeven) {
    platform::ScriptedRandom random;
    random.queue(GetParam().r);
    RecordingOpener shell;
    EXPECT_EQ(common::Main::OpenWebSiteAtRandom(random, shell), GetParam().opens);
    EXPECT_EQ(random.reseeds(), 1);
    EXPECT_EQ(random.draws(), 1);
    if (GetParam().opens)
        EXPECT_EQ(shell.opened, QStringList({"https://www.kestrune.example/"}));
    else
        EXPECT_TRUE(shell.opened.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, WebSiteDraw,
                         ::testing::Values(WebCase{0.0, false}, WebCase{0.0599, false},
                                           WebCase{0.06, true}, WebCase{0.065, true},
                                           WebCase{0.0699999, true}, WebCase{0.07, false},
                                           WebCase{0.5, false}, WebCase{0.999999, false}));

TEST(WebSiteDrawOdds, RealGeneratorOpensAboutOnceInAHundred) {
    platform::SystemRandom random;
    RecordingOpener shell;
    int opened = 0;
    for (int i = 0; i < 20000; ++i) opened += common::Main::OpenWebSiteAtRandom(random, shell);
    EXPECT_EQ(shell.opened.size(), opened);
    EXPECT_GT(opened, 120);  // expected 200; 5 standard deviations are about 70
    EXPECT_LT(opened, 280);
}

TEST(FormColors, SetOnWindowFramesAndLabelsOnly) {
    QWidget window;
    auto* frame = new QGroupBox(&window);
    auto* label = new QLabel(&window);
    auto* check = new QCheckBox(&window);
    auto* picture = new PictureBox(&window);
    auto* bar = new QScrollBar(&window);
    auto* button = new QPushButton(&window);
    const QColor pictureBefore = common::Main::backgroundColor(picture);
    const QColor barBefore = common::Main::backgroundColor(bar);
    const QColor buttonBefore = common::Main::backgroundColor(button);
    common::Main::setBackgroundColor(&window, Qt::white);
    common::Main::SetFormColors(&window);
    const QColor face = common::Main::buttonFaceColor();
    EXPECT_EQ(common::Main::backgroundColor(&window), face);
    EXPECT_EQ(common::Main::backgroundColor(frame), face);
    EXPECT_EQ(common::Main::backgroundColor(label), face);
    EXPECT_EQ(common::Main::backgroundColor(check), face);
    EXPECT_EQ(common::Main::backgroundColor(picture), pictureBefore);
    EXPECT_EQ(common::Main::backgroundColor(bar), barBefore);
    EXPECT_EQ(common::Main::backgroundColor(button), buttonBefore);
}

TEST(Skin, AppliedOnlyWhenTheSkinFileIsThere) {
    QTemporaryDir folder;
    QWidget window;
    common::Main::setBackgroundColor(&window, Qt::white);
    common::SkinFramework skin;

    common::Main::ApplySkin(&window, skin, folder.path());  // no x/o.cjs
    EXPECT_EQ(common::Main::backgroundColor(&window), QColor(Qt::white));
    EXPECT_FALSE(skin.loaded());
    EXPECT_TRUE(window.styleSheet().isEmpty());

    QDir(folder.path()).mkdir("x");
    QFile file(QDir(folder.path()).filePath("x/o.cjs"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("QPushButton { color: #123456; }");
    file.close();
    common::Main::ApplySkin(&window, skin, folder.path());
    EXPECT_EQ(common::Main::backgroundColor(&window), common::Main::buttonFaceColor());
    EXPECT_EQ(skin.flags() & 1, 1);
    EXPECT_EQ(window.styleSheet(), "QPushButton { color: #123456; }");
}

TEST(Skin, AFolderNamedLikeTheSkinFileIsNoSkin) {
    QTemporaryDir folder;
    QDir(folder.path()).mkpath("x/o.cjs");
    QWidget window;
    common::Main::setBackgroundColor(&window, Qt::white);
    common::SkinFramework skin;
    common::Main::ApplySkin(&window, skin, folder.path());
    EXPECT_EQ(common::Main::backgroundColor(&window), QColor(Qt::white));
    EXPECT_FALSE(skin.loaded());
}

}  // namespace
