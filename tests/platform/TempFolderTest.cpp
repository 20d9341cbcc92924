// The temporary folder for the working files: TEMP when the user set it, otherwise a folder only
// the user can enter, never a link, another account's folder or one open to others.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "platform/TempFolder.h"

namespace {

using platform::PathStatus;
using platform::TempFolderChoice;

constexpr uint kUser = 1000;
constexpr uint kOther = 1001;

PathStatus folder(uint permissions, uint owner = kUser) {
    return {PathStatus::Folder, owner, permissions};
}
PathStatus link() { return {PathStatus::Link, kUser, 0777}; }
PathStatus file() { return {PathStatus::RegularFile, kUser, 0600}; }

const PathStatus kRuntimeDir = folder(0700);

struct FolderRow {
    const char* name;
    QString temp;
    QString runtimeDir;
    QMap<QString, PathStatus> there;  // anything not listed is missing
    TempFolderChoice::How how;
    QString path;
    int passedOver;
    QString systemTemp = "/tmp";
    QString madeBefore = QString();
    QStringList notMade = {};
};

void PrintTo(const FolderRow& row, std::ostream* out) { *out << row.name; }

class FolderChoice : public ::testing::TestWithParam<FolderRow> {};

TEST_P(FolderChoice, IsTheUsersOwn) {
    const FolderRow& r = GetParam();
    platform::TempEnvironment env;
    env.temp = r.temp;
    env.runtimeDir = r.runtimeDir;
    env.systemTemp = r.systemTemp;
    env.home = "/home/u";
    env.user = kUser;
    env.madeBefore = r.madeBefore;
    env.notMade = r.notMade;
    const TempFolderChoice choice = platform::chooseTemporaryFolder(
        env, [&](const QString& path) { return r.there.value(path, PathStatus{}); });
    EXPECT_EQ(choice.how, r.how);
    EXPECT_EQ(choice.path, r.path);
    EXPECT_EQ(choice.passedOver.size(), r.passedOver) << choice.passedOver.join("; ").toStdString();
}

const auto Make = TempFolderChoice::MakePrivate;
const auto Use = TempFolderChoice::Private;
const auto Fresh = TempFolderChoice::MakeFresh;
const auto AsSet = TempFolderChoice::AsSet;

const QString kRun = "/run/user/1000";
const QString kRunOwn = "/run/user/1000/morrowlin";
const QString kTmpOwn = "/tmp/morrowlin-1000";

INSTANTIATE_TEST_SUITE_P(
    Rows, FolderChoice,
    ::testing::Values(
        // TEMP is the user's choice, whatever else there is.
        FolderRow{"TempSet", "/work/t/", kRun, {{kRun, kRuntimeDir}}, AsSet, "/work/t", 0},
        FolderRow{"TempSetNoRuntime", "/tmp", "", {{kTmpOwn, link()}}, AsSet, "/tmp", 0},
        FolderRow{"TempTheRootIsNotUsed", "/", "", {}, Make, kTmpOwn, 0},
        // XDG_RUNTIME_DIR set.
        FolderRow{"RuntimeFolderMissing", "", kRun, {{kRun, kRuntimeDir}}, Make, kRunOwn, 0},
        FolderRow{"RuntimeFolderThere",
                  "",
                  kRun,
                  {{kRun, kRuntimeDir}, {kRunOwn, folder(0700)}},
                  Use,
                  kRunOwn,
                  0},
        FolderRow{"RuntimeFolderALink",
                  "",
                  kRun,
                  {{kRun, kRuntimeDir}, {kRunOwn, link()}},
                  Make,
                  kTmpOwn,
                  1},
        FolderRow{"RuntimeFolderAnothers",
                  "",
                  kRun,
                  {{kRun, kRuntimeDir}, {kRunOwn, folder(0700, kOther)}, {kTmpOwn, folder(0700)}},
                  Use,
                  kTmpOwn,
                  1},
        FolderRow{"RuntimeDirOpenToOthers", "", kRun, {{kRun, folder(0755)}}, Make, kTmpOwn, 1},
        FolderRow{"RuntimeDirMissing", "", kRun, {}, Make, kTmpOwn, 1},
        FolderRow{"RuntimeDirRelative", "", "run/user", {{"run/user", kRuntimeDir}}, Make,
                  kTmpOwn, 0},
        // XDG_RUNTIME_DIR not set: morrowlin-<uid> in the system's temporary folder.
        FolderRow{"PrivateFolderMissing", "", "", {}, Make, kTmpOwn, 0},
        FolderRow{"PrivateFolderThere", "", "", {{kTmpOwn, folder(0700)}}, Use, kTmpOwn, 0},
        FolderRow{"PrivateFolderALink", "", "", {{kTmpOwn, link()}}, Fresh, "/tmp", 1},
        FolderRow{"PrivateFolderAnothers", "", "", {{kTmpOwn, folder(0700, kOther)}}, Fresh,
                  "/tmp", 1},
        FolderRow{"PrivateFolderOpenToAll", "", "", {{kTmpOwn, folder(0777)}}, Fresh, "/tmp", 1},
        FolderRow{"PrivateFolderReadableByGroup", "", "", {{kTmpOwn, folder(0750)}}, Fresh,
                  "/tmp", 1},
        FolderRow{"PrivateFolderEnterableByOthers", "", "", {{kTmpOwn, folder(0701)}}, Fresh,
                  "/tmp", 1},
        FolderRow{"PrivateFolderAFile", "", "", {{kTmpOwn, file()}}, Fresh, "/tmp", 1},
        FolderRow{"PrivateFolderCouldNotBeMade", "", "", {}, Fresh, "/tmp", 1, "/tmp", QString(),
                  {kTmpOwn}},
        // The fresh folder of this run is used again while it passes the checks.
        FolderRow{"FreshFolderAgain",
                  "",
                  "",
                  {{kTmpOwn, link()}, {"/tmp/morrowlin-1000-Ab12Cd", folder(0700)}},
                  Use,
                  "/tmp/morrowlin-1000-Ab12Cd",
                  1,
                  "/tmp",
                  "/tmp/morrowlin-1000-Ab12Cd"},
        FolderRow{"FreshFolderGone",
                  "",
                  "",
                  {{kTmpOwn, link()}},
                  Fresh,
                  "/tmp",
                  2,
                  "/tmp",
                  "/tmp/morrowlin-1000-Ab12Cd"},
        FolderRow{"FreshFolderReplacedByALink",
                  "",
                  "",
                  {{kTmpOwn, link()}, {"/tmp/morrowlin-1000-Ab12Cd", link()}},
                  Fresh,
                  "/tmp",
                  2,
                  "/tmp",
                  "/tmp/morrowlin-1000-Ab12Cd"},
        FolderRow{"FreshFolderOfAnotherTempIsNotUsed", "", "", {}, Make, "/var/tmp/morrowlin-1000",
                  0, "/var/tmp", "/tmp/morrowlin-1000-Ab12Cd"},
        // Never the root of the file system: the home folder stands for it.
        FolderRow{"SystemTempTheRoot", "", "", {}, Make, "/home/u/morrowlin-1000", 0, "/"}),
    [](const auto& info) { return std::string(info.param.name); });

// A file already in the temporary folder is taken for the program's own only when it is a
// regular file of the user's that nobody else could have written or put there.
struct LeftoverRow {
    const char* name;
    PathStatus file;
    PathStatus folder;
    const char* reason;  // empty: taken
};

void PrintTo(const LeftoverRow& row, std::ostream* out) { *out << row.name; }

class Leftover : public ::testing::TestWithParam<LeftoverRow> {};

TEST_P(Leftover, IsTakenOnlyWhenTheUsersOwn) {
    const LeftoverRow& r = GetParam();
    EXPECT_EQ(platform::notOwnFileReason(r.file, r.folder, kUser).toStdString(), r.reason);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Leftover,
    ::testing::Values(
        LeftoverRow{"OwnInPrivateFolder", file(), folder(0700), ""},
        LeftoverRow{"OwnReadableByAll", {PathStatus::RegularFile, kUser, 0644}, folder(0700), ""},
        LeftoverRow{"OwnInStickySharedFolder", file(), folder(01777, 0), ""},
        LeftoverRow{"Anothers", {PathStatus::RegularFile, kOther, 0600}, folder(01777, 0),
                    "it belongs to another account"},
        LeftoverRow{"WritableByGroup", {PathStatus::RegularFile, kUser, 0664}, folder(0700),
                    "other accounts can write to it"},
        LeftoverRow{"WritableByAll", {PathStatus::RegularFile, kUser, 0606}, folder(0700),
                    "other accounts can write to it"},
        LeftoverRow{"InSharedFolderWithoutStickyBit", file(), folder(0777, 0),
                    "other accounts can replace it in its folder"},
        LeftoverRow{"ALink", link(), folder(0700), "it is a link"},
        LeftoverRow{"AFolder", folder(0700), folder(0700), "it is a folder"},
        LeftoverRow{"AFifo", {PathStatus::Other, kUser, 0600}, folder(0700),
                    "it is not a regular file"}),
    [](const auto& info) { return std::string(info.param.name); });

// Sets an environment variable for one test and puts the old value back.
class EnvValue {
  public:
    EnvValue(const char* name, const QString& value) : name_(name) {
        had_ = qEnvironmentVariableIsSet(name);
        old_ = qgetenv(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }
    ~EnvValue() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

  private:
    const char* name_;
    QByteArray old_;
    bool had_ = false;
};

uint modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? uint(st.st_mode) & 07777 : 0;
}

// The choice on the real file system: what is made is made 0700, and a link in the private
// folder's place is neither used nor followed.
TEST(TemporaryFolder, MakesItsOwnFolderAndPassesOverALink) {
    QTemporaryDir runtime, system, elsewhere;
    ASSERT_TRUE(runtime.isValid() && system.isValid() && elsewhere.isValid());
    EnvValue temp("TEMP", QString());
    EnvValue tmpdir("TMPDIR", system.path());
    const QString own = QString("morrowlin-%1").arg(platform::currentUserId());

    {
        EnvValue xdg("XDG_RUNTIME_DIR", runtime.path());
        const QString chosen = platform::temporaryFolder();
        EXPECT_EQ(chosen, QDir(runtime.path()).filePath("morrowlin"));
        EXPECT_TRUE(QFileInfo(chosen).isDir());
        EXPECT_EQ(modeOf(chosen), 0700u);
    }

    EnvValue xdg("XDG_RUNTIME_DIR", QString());
    const QString privateFolder = QDir(system.path()).filePath(own);
    EXPECT_EQ(platform::temporaryFolder(), privateFolder);
    EXPECT_EQ(modeOf(privateFolder), 0700u);
    EXPECT_EQ(platform::temporaryFolder(), privateFolder);  // found again, as it is

    // Open to others: passed over, and not changed.
    ASSERT_EQ(::chmod(QFile::encodeName(privateFolder).constData(), 0755), 0);
    const QString fresh = platform::temporaryFolder();
    EXPECT_NE(fresh, privateFolder);
    EXPECT_EQ(modeOf(privateFolder), 0755u);
    ASSERT_TRUE(QDir(privateFolder).removeRecursively());

    // A link in its place, to a folder open to all: neither used nor followed.
    ASSERT_TRUE(QFile::link(elsewhere.path(), privateFolder));
    ASSERT_EQ(::chmod(QFile::encodeName(elsewhere.path()).constData(), 0777), 0);
    const QString chosen = platform::temporaryFolder();
    EXPECT_EQ(chosen, fresh);  // the fresh folder of this run, used again
    EXPECT_EQ(QFileInfo(chosen).path(), system.path());
    EXPECT_TRUE(QFileInfo(chosen).fileName().startsWith(own + "-")) << chosen.toStdString();
    EXPECT_TRUE(QFileInfo(chosen).isDir());
    EXPECT_FALSE(QFileInfo(chosen).isSymLink());
    EXPECT_EQ(modeOf(chosen), 0700u);
    EXPECT_EQ(QFileInfo(privateFolder).symLinkTarget(), elsewhere.path());
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_EQ(modeOf(elsewhere.path()), 0777u);
}

}  // namespace
