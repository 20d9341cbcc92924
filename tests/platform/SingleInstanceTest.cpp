// One copy per user: the socket a first copy listens on, a later start that finds it, a socket
// file left behind by a killed copy.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>

#include "platform/SingleInstance.h"
#include "support/TestEnv.h"

namespace {

using platform::SingleInstance;

class SingleInstanceTest : public TestEnv {
  protected:
    // Runs the event loop until `done` or two seconds have passed.
    template <class Done>
    static bool waitFor(Done done) {
        const QDeadlineTimer deadline(2000);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }

    QTemporaryDir config;  // the settings folder the copies share
};

TEST_F(SingleInstanceTest, ALaterStartFindsTheFirstAndAsksItToTheFront) {
    SingleInstance first("MorrowlinTest", config.path());
    int requests = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++requests; });
    ASSERT_FALSE(first.anotherCopyRuns());
    EXPECT_TRUE(QFile::exists(first.serverName())) << first.serverName().toStdString();

    for (int start = 1; start <= 2; ++start) {
        SingleInstance later("MorrowlinTest", config.path());
        EXPECT_EQ(later.serverName(), first.serverName());
        EXPECT_TRUE(later.anotherCopyRuns()) << start;
        EXPECT_TRUE(waitFor([&] { return requests == start; })) << requests;
    }
    // Copies with settings of their own run side by side.
    QTemporaryDir otherConfig;
    SingleInstance other("MorrowlinTest", otherConfig.path());
    EXPECT_NE(other.serverName(), first.serverName());
    EXPECT_FALSE(other.anotherCopyRuns());
}

TEST_F(SingleInstanceTest, TheSocketIsTheUsersOwnAndGoesWithTheCopy) {
    QString name;
    {
        SingleInstance first("MorrowlinTest", config.path());
        ASSERT_FALSE(first.anotherCopyRuns());
        name = first.serverName();
        EXPECT_TRUE(name.contains(QString::number(::getuid()))) << name.toStdString();
        EXPECT_EQ(QFile::permissions(name) &
                      (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
                  QFile::Permissions())
            << name.toStdString();
    }
    EXPECT_FALSE(QFile::exists(name));
    SingleInstance next("MorrowlinTest", config.path());
    EXPECT_FALSE(next.anotherCopyRuns());
}

// A copy that was killed leaves its socket file: nobody answers there, and the next start takes
// it over instead of ending.
TEST_F(SingleInstanceTest, ASocketFileNobodyListensOnIsTakenOver) {
    const QString name = SingleInstance("MorrowlinTest", config.path()).serverName();
    const QByteArray path = QFile::encodeName(name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(size_t(path.size()), sizeof address.sun_path);
    std::copy(path.begin(), path.end(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);  // bound, never listened on, not removed
    ASSERT_TRUE(QFile::exists(name));

    SingleInstance first("MorrowlinTest", config.path());
    int requests = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++requests; });
    EXPECT_FALSE(first.anotherCopyRuns());
    SingleInstance later("MorrowlinTest", config.path());
    EXPECT_TRUE(later.anotherCopyRuns());
    EXPECT_TRUE(waitFor([&] { return requests == 1; }));
}

}  // namespace
