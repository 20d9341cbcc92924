#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>

namespace platform {

namespace {

// What a later start sends.
constexpr char kActivate[] = "activate\n";
constexpr size_t kActivateSize = sizeof kActivate - 1;
// How long a start waits to reach the running copy's socket, in seconds.
constexpr int kWaitSeconds = 2;

// The address of the socket file `path`; none when the path is too long for one.
std::optional<sockaddr_un> addressOf(const QByteArray& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return address;
}

// Closes a descriptor on every way out.
struct Descriptor {
    int fd;
    explicit Descriptor(int value) : fd(value) {}
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int release() { return std::exchange(fd, -1); }
};

// One accepted connection: reads what the later start sends, then closes. It ends once the
// request is whole, or when the other side closes or fails.
class Request : public QObject {
  public:
    Request(int fd, std::function<void()> activate, QObject* parent)
        : QObject(parent),
          fd_(fd),
          activate_(std::move(activate)),
          notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this)) {
        connect(notifier_, &QSocketNotifier::activated, this, &Request::read);
    }
    ~Request() override {
        delete notifier_;  // before its descriptor goes
        ::close(fd_);
    }

    void read() {
        char chunk[64];
        for (;;) {
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) return;  // more to come
            if (n > 0) {
                received_.append(chunk, n);
                if (size_t(received_.size()) < kActivateSize) continue;
            }
            notifier_->setEnabled(false);
            deleteLater();
            if (received_.startsWith(kActivate)) activate_();
            return;
        }
    }

  private:
    int fd_;
    std::function<void()> activate_;
    QSocketNotifier* notifier_;
    QByteArray received_;
};

}  // namespace

SingleInstance::SingleInstance(const QString& program, const QString& scope, QObject* parent)
    : QObject(parent) {
    // The runtime folder is the user's own (mode 0700); elsewhere the socket goes to the
    // temporary folder, its name told apart by the user's id.
    const QByteArray scopeHash =
        QCryptographicHash::hash(QDir::cleanPath(scope).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    const QString file = QString("%1-%2-%3.socket")
                             .arg(program)
                             .arg(uint(::getuid()))
                             .arg(QString::fromLatin1(scopeHash));
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    name_ = QDir(runtime).filePath(file);
    if (runtime.isEmpty() || !QDir(runtime).exists() || !addressOf(QFile::encodeName(name_)))
        name_ = QDir(QDir::tempPath()).filePath(file);
}

SingleInstance::~SingleInstance() {
    if (listener_ < 0) return;
    delete listening_;  // before its descriptor goes
    ::close(listener_);
    // Remove the file only while it is still this copy's: a later copy that took over a
    // vanished file keeps its own.
    const QByteArray path = QFile::encodeName(name_);
    struct stat status {};
    if (::lstat(path.constData(), &status) == 0 && status.st_dev == device_ &&
        status.st_ino == inode_)
        ::unlink(path.constData());
}

bool SingleInstance::askRunningCopy() const {
    const QByteArray path = QFile::encodeName(name_);
    const std::optional<sockaddr_un> address = addressOf(path);
    struct stat status {};
    // Only a socket of this user's stands for a running copy: one another user put in a shared
    // folder could otherwise end every start.
    if (!address || ::lstat(path.constData(), &status) != 0 || !S_ISSOCK(status.st_mode) ||
        status.st_uid != ::getuid())
        return false;
    const Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.fd < 0) return false;
    // A copy that listens runs, even one busy with a build: its queue takes the connection and
    // the request, and it reads them when it is back in its event loop. A full queue makes the
    // connect wait, at most this long.
    const timeval wait{kWaitSeconds, 0};
    ::setsockopt(socket.fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    int connected;
    do {
        connected = ::connect(socket.fd, reinterpret_cast<const sockaddr*>(&*address),
                              sizeof *address);
    } while (connected != 0 && errno == EINTR);
    if (connected != 0) return false;
    ssize_t sent;
    do {
        sent = ::send(socket.fd, kActivate, kActivateSize, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return true;
}

bool SingleInstance::listen() {
    const QByteArray path = QFile::encodeName(name_);
    const std::optional<sockaddr_un> address = addressOf(path);
    if (!address) return false;
    Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.fd < 0) return false;
    // The file a bind makes takes the socket's mode: the user's alone, whatever the umask.
    ::fchmod(socket.fd, S_IRUSR | S_IWUSR);
    auto bind = [&] {
        return ::bind(socket.fd, reinterpret_cast<const sockaddr*>(&*address),
                      sizeof *address) == 0;
    };
    if (!bind()) {
        // A socket file left behind by a copy that ended without removing it: nobody answered
        // on it. Only a socket of this user's is removed.
        struct stat status {};
        if (errno != EADDRINUSE || ::lstat(path.constData(), &status) != 0 ||
            !S_ISSOCK(status.st_mode) || status.st_uid != ::getuid() ||
            ::unlink(path.constData()) != 0 || !bind())
            return false;
    }
    struct stat status {};
    if (::chmod(path.constData(), S_IRUSR | S_IWUSR) != 0 ||
        ::lstat(path.constData(), &status) != 0 || ::listen(socket.fd, SOMAXCONN) != 0) {
        ::unlink(path.constData());
        return false;
    }
    device_ = status.st_dev;
    inode_ = status.st_ino;
    listener_ = socket.release();
    listening_ = new QSocketNotifier(listener_, QSocketNotifier::Read, this);
    connect(listening_, &QSocketNotifier::activated, this, &SingleInstance::accept);
    return true;
}

bool SingleInstance::anotherCopyRuns() {
    if (listener_ >= 0) return false;
    if (askRunningCopy()) return true;
    listen();
    return false;
}

void SingleInstance::accept() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;  // none waiting (EAGAIN), or one that went away meanwhile
        auto* request = new Request(fd, [this] { emit activationRequested(); }, this);
        request->read();  // the request may have arrived with the connection
    }
}

}  // namespace platform
