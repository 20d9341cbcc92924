// A temporary folder that another account can write to (TEMP set to a shared folder, as /tmp is):
// what that account leaves there, files and links, is never used as the build's own, written
// through, changed or deleted, with the kernel's link protections on and off.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTimer>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <iostream>

#include "chart/Template.h"
#include "preview/Form2.h"
#include "support/BuildFixture.h"
#include "xls/Workbook.h"

namespace {

// The second account, made for this suite when it runs as root and removed afterwards.
struct OtherAccount {
    QString name;
    uid_t uid = 0;
    gid_t gid = 0;
    bool made = false;
};
OtherAccount other;

// A kernel setting under /proc/sys/fs, changed for one test and put back afterwards.
class KernelSetting {
  public:
    explicit KernelSetting(const QString& name) : path_("/proc/sys/fs/" + name) {
        old_ = read();
    }
    ~KernelSetting() {
        if (changed_) write(old_);
    }
    int read() const {
        QFile file(path_);
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toInt() : -1;
    }
    bool set(int value) {
        if (old_ < 0) return false;
        if (value == old_) return true;
        changed_ = true;
        return write(value) && read() == value;
    }

  private:
    bool write(int value) const {
        QFile file(path_);
        return file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(value)) > 0;
    }
    QString path_;
    int old_ = -1;
    bool changed_ = false;
};

struct Protections {
    const char* name;
    int symlinks;  // fs.protected_symlinks
    int regular;   // fs.protected_regular
};

void PrintTo(const Protections& p, std::ostream* out) { *out << p.name; }

// What the other account leaves in the shared folder, and where the links point.
enum class Planted { Nothing, File, Picture, LinkToUsersFile, LinkToNothing };

struct PlantRow {
    const char* name;
    Planted templateFile;  // "Pie Chart.xlt"
    Planted picture;       // "temp.bmp"
    Planted workbook;      // "tkvane11111111.xls", the first name the build draws
    bool templateMeanwhile = false;  // the template is left while the build lets events run
};

void PrintTo(const PlantRow& row, std::ostream* out) { *out << row.name; }

// What lstat sees of a planted entry: kind, owner, link target or content.
struct Entry {
    bool link = false;
    uint owner = 0;
    QString target;
    QByteArray bytes;
    bool operator==(const Entry& o) const {
        return link == o.link && owner == o.owner && target == o.target && bytes == o.bytes;
    }
};

Entry entryAt(const QString& path) {
    Entry e;
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return e;
    e.owner = st.st_uid;
    e.link = S_ISLNK(st.st_mode);
    if (e.link) {
        e.target = QFile::symLinkTarget(path);
    } else {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) e.bytes = file.readAll();
    }
    return e;
}

class SharedFolder : public BuildFixture,
                     public ::testing::WithParamInterface<std::tuple<PlantRow, Protections>> {
  protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    // Leaves `what` at `name` in the shared folder as the other account's.
    void plant(const QString& name, Planted what);

    QString userFile() const { return QDir(configDir()).filePath("important.txt"); }

    QMap<QString, Entry> planted;
    QStringList throughLinks;  // the user's files that links point to and that must not appear
    std::unique_ptr<KernelSetting> symlinks, regular;
};

void SharedFolder::SetUpTestSuite() {
    if (::geteuid() != 0) return;
    other.name = QString("mrwl-other-%1").arg(::getpid());
    QProcess useradd;
    useradd.start("useradd", {"--system", "--no-create-home", "--shell", "/usr/sbin/nologin",
                              other.name});
    if (useradd.waitForFinished(30000) && useradd.exitCode() == 0) {
        if (const passwd* pw = ::getpwnam(other.name.toLocal8Bit().constData())) {
            other.uid = pw->pw_uid;
            other.gid = pw->pw_gid;
            other.made = true;
            return;
        }
    }
    // Without useradd the other account is a user id that no account of the machine has.
    for (uid_t uid = 61000; uid < 62000; ++uid) {
        if (::getpwuid(uid) == nullptr && ::getgrgid(gid_t(uid)) == nullptr) {
            other.uid = uid;
            other.gid = gid_t(uid);
            std::cout << "useradd failed; the other account is the unused user id " << uid << "\n";
            return;
        }
    }
}

void SharedFolder::TearDownTestSuite() {
    if (other.made) QProcess::execute("userdel", {other.name});
    other = OtherAccount();
}

void SharedFolder::SetUp() {
    BuildFixture::SetUp();
    if (::geteuid() != 0 || other.uid == 0)
        GTEST_SKIP() << "a second account can be made only when the tests run as root";
    // The temporary folder is a shared one, as /tmp is: everybody may write, the sticky bit
    // keeps each account's files to itself.
    ASSERT_EQ(::chmod(QFile::encodeName(tempDir()).constData(), 01777), 0);

    const Protections& p = std::get<1>(GetParam());
    symlinks = std::make_unique<KernelSetting>("protected_symlinks");
    regular = std::make_unique<KernelSetting>("protected_regular");
    if (!symlinks->set(p.symlinks) || !regular->set(p.regular))
        std::cout << "The link protections cannot be changed here; tested as they are: "
                  << "fs.protected_symlinks = " << symlinks->read()
                  << ", fs.protected_regular = " << regular->read() << "\n";
}

void SharedFolder::plant(const QString& name, Planted what) {
    const QString path = inTemp(name);
    switch (what) {
        case Planted::Nothing: return;
        case Planted::File: {
            // A workbook of the other account's, with its own heading.
            const QByteArray bytes = chart::TemplateBytes();
            xls::Workbook theirs = xls::Workbook::fromBytes(
                std::vector<uint8_t>(bytes.begin(), bytes.end()), "theirs.xlt");
            theirs.activeSheet().setValue(2, 0, "Left by another account");
            theirs.saveAs(QFile::encodeName(path).toStdString());
            break;
        }
        case Planted::Picture: {
            QImage picture(64, 48, QImage::Format_RGB32);
            picture.fill(QColor(200, 30, 40));
            ASSERT_TRUE(picture.save(path, "BMP"));
            break;
        }
        case Planted::LinkToUsersFile: ASSERT_TRUE(QFile::link(userFile(), path)); break;
        case Planted::LinkToNothing: {
            const QString target = QDir(configDir()).filePath(name + ".through-link");
            ASSERT_TRUE(QFile::link(target, path));
            throughLinks << target;
            break;
        }
    }
    if (what == Planted::File || what == Planted::Picture) {
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    }
    ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), other.uid, other.gid), 0);
    planted[name] = entryAt(path);
}

TEST_P(SharedFolder, NothingOfTheOtherAccountsIsUsedChangedOrDeleted) {
    const PlantRow& r = std::get<0>(GetParam());
    writeFile(userFile(), "the user's own notes");
    if (r.templateMeanwhile)
        QTimer::singleShot(0, [&] { plant("Pie Chart.xlt", r.templateFile); });
    else
        plant("Pie Chart.xlt", r.templateFile);
    plant("temp.bmp", r.picture);
    plant("tkvane11111111.xls", r.workbook);
    if (HasFatalFailure()) return;

    // The start's web-site draw, then the names tkvane11111111 and tkvane22222222.
    random.queue(0.5);
    for (int i = 0; i < 8; ++i) random.queue(0.0);
    for (int i = 0; i < 8; ++i) random.queue(0.15);
    startWith({{"Car", "7500"}, {"House", "250000"}});
    build();
    if (r.templateFile != Planted::Nothing) {
        EXPECT_TRUE(planted.contains("Pie Chart.xlt"));  // left while the build ran, if then
    }

    const auto reports = errorReports(dialogs);
    if (r.picture == Planted::Nothing) {
        EXPECT_TRUE(reports.isEmpty()) << reports.value(0).text.toStdString();
    } else {
        // The picture's name is taken: told clearly, naming the file, and not written through.
        ASSERT_FALSE(reports.isEmpty());
        EXPECT_TRUE(reports[0].text.contains(QDir::toNativeSeparators(inTemp("temp.bmp"))))
            << reports[0].text.toStdString();
        EXPECT_TRUE(reports[0].text.contains("another account")) << reports[0].text.toStdString();
        EXPECT_TRUE(reports[0].text.contains("at line 184")) << reports[0].text.toStdString();
    }

    // The workbook is this build's, from the program's own template, the user's alone.
    Form2* preview = form->previewIfLoaded();
    ASSERT_NE(preview, nullptr);
    const QString workbook = preview->mExcelFile;
    EXPECT_FALSE(planted.contains(QFileInfo(workbook).fileName())) << workbook.toStdString();
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(workbook).constData(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    xls::Workbook book = xls::Workbook::open(QFile::encodeName(workbook).toStdString());
    EXPECT_EQ(book.activeSheet().cell(2, 0).text, "Asset Type");
    EXPECT_EQ(book.activeSheet().cell(3, 0).text, "Car");
    EXPECT_EQ(book.activeSheet().cell(4, 0).text, "House");

    preview->close();

    // The user's files are as they were; nothing was made through a link.
    EXPECT_EQ(readFile(userFile()), QByteArray("the user's own notes"));
    for (const QString& target : throughLinks) {
        EXPECT_FALSE(QFileInfo::exists(target)) << target.toStdString();
    }
    // What the other account left is all there, unchanged, and nothing of the build's is left.
    for (auto it = planted.cbegin(); it != planted.cend(); ++it) {
        EXPECT_TRUE(entryAt(inTemp(it.key())) == it.value()) << it.key().toStdString();
    }
    QStringList left = QDir(tempDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                                 QDir::NoDotAndDotDot);
    left.sort();
    QStringList expected = planted.keys();
    expected.sort();
    EXPECT_EQ(left.join(", ").toStdString(), expected.join(", ").toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Plants, SharedFolder,
    ::testing::Combine(
        ::testing::Values(
            PlantRow{"TheirTemplate", Planted::File, Planted::Nothing, Planted::Nothing},
            PlantRow{"TheirTemplateWhileTheBuildRuns", Planted::File, Planted::Nothing,
                     Planted::Nothing, true},
            PlantRow{"TheirTemplateAndPicture", Planted::File, Planted::Picture,
                     Planted::Nothing},
            PlantRow{"LinksToTheUsersFile", Planted::LinkToUsersFile, Planted::LinkToUsersFile,
                     Planted::LinkToUsersFile},
            PlantRow{"LinksToNothing", Planted::LinkToNothing, Planted::LinkToNothing,
                     Planted::LinkToNothing}),
        ::testing::Values(Protections{"ProtectionsOff", 0, 0}, Protections{"ProtectionsOn", 1, 2})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
    });

}  // namespace
