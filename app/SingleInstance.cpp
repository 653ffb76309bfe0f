#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

namespace quillon {

namespace {

using Outcome = InstanceClaim::Outcome;
using FileNames = InstanceServer::FileNames;

const QByteArray kMagic = "QLON";
constexpr qsizetype kHeader = 8;  // the magic and the length
// The bound lies far above any command line (Linux allows 2 MiB of
// arguments, made absolute here).
constexpr qsizetype kMaxRequest = qsizetype{64} * 1024 * 1024;
const QByteArray kAnswer = "ok\n";
// A later Quillon tries to connect for this long (the lock's holder may be
// about to listen), gives up on a write that makes no progress for this
// long, and waits this long for the answer once the request is written.
constexpr int kConnectMs = 2000;
constexpr int kStallMs = 5000;
constexpr int kAnswerMs = 5000;
constexpr unsigned long kRetryMs = 50;
// A peer that sends nothing for this long is dropped.
constexpr int kIdleMs = 1000;
constexpr qsizetype kMaxPeers = 64;

InstanceClaim claimed(Outcome outcome, QString path = {}, QString reason = {})
{
    return {outcome, std::move(path), std::move(reason), nullptr};
}

QString system_reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Why folder may not hold the socket; nothing when it is this user's and
// open to nobody else.
std::optional<InstanceClaim> folder_refused(const QString& folder)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0) {
        return claimed(Outcome::Failed, folder, system_reason(errno));
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() ||
        (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        return claimed(Outcome::OpenFolder, folder);
    }
    return std::nullopt;
}

// Whether something other than a file of kind (S_IFREG, S_IFSOCK) stands
// at path; a missing one is not.
bool holds_other_than(const QString& path, mode_t kind)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 &&
           (info.st_mode & S_IFMT) != kind;
}

// The process at the other end of a connected local socket runs as this user.
bool peer_is_this_user(qintptr descriptor)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials,
                        &size) == 0 &&
           credentials.uid == ::getuid();
}

QByteArray request_of(const FileNames& files)
{
    QByteArray names;
    for (const std::string& file : files) {
        std::error_code failed;
        const std::filesystem::path absolute = std::filesystem::absolute(file, failed);
        names += QByteArray::fromStdString(failed ? file : absolute.native());
        names += '\0';
    }
    QByteArray length(4, '\0');
    qToBigEndian(static_cast<quint32>(std::min<qsizetype>(names.size(), kMaxRequest + 1)),
                 length.data());
    return kMagic + length + names;
}

// The length that a request's header announces; nothing when it is no
// header of a request that is taken.
std::optional<qsizetype> announced_length(const QByteArray& header)
{
    if (!header.startsWith(kMagic)) {
        return std::nullopt;
    }
    const auto length = static_cast<qsizetype>(qFromBigEndian<quint32>(header.constData() + 4));
    return length <= kMaxRequest ? std::optional(length) : std::nullopt;
}

// The absolute file names of a request's body; nothing when it is not one.
std::optional<FileNames> files_of(const QByteArray& body)
{
    FileNames files;
    for (qsizetype from = 0; from < body.size();) {
        const qsizetype end = body.indexOf('\0', from);
        if (end < 0 || body[from] != '/') {
            return std::nullopt;
        }
        files.emplace_back(body.constData() + from, static_cast<std::size_t>(end - from));
        from = end + 1;
    }
    return files;
}

enum class HandOver { Taken, NoAnswer };

// The lock's holder is listening, or is about to: a connection refused, or
// no socket yet, is tried again until the time is up.
HandOver hand_over(const QString& path, const QByteArray& request)
{
    const QDeadlineTimer connecting(kConnectMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(path);
        if (socket.waitForConnected(static_cast<int>(connecting.remainingTime()))) {
            break;
        }
        if (connecting.hasExpired() || socket.error() == QLocalSocket::SocketTimeoutError) {
            return HandOver::NoAnswer;
        }
        QThread::msleep(kRetryMs);
    }
    if (!peer_is_this_user(socket.socketDescriptor())) {
        return HandOver::NoAnswer;
    }
    socket.write(request);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kStallMs)) {
            return HandOver::NoAnswer;
        }
    }
    const QDeadlineTimer answering(kAnswerMs);
    QByteArray answer;
    while (answer.size() < kAnswer.size() &&
           socket.waitForReadyRead(static_cast<int>(answering.remainingTime()))) {
        answer += socket.read(kAnswer.size() - answer.size());
    }
    return answer == kAnswer ? HandOver::Taken : HandOver::NoAnswer;
}

void drop(QLocalSocket& peer)
{
    peer.abort();
    peer.deleteLater();
}

constexpr std::array kEndingSignals{SIGTERM, SIGINT, SIGHUP};
// The write end of the pipe that the handler writes to; -1 while no server
// watches.
std::atomic<int> signal_pipe{-1};

// All a signal handler may safely do: a byte into the pipe.
void note_signal(int /*number*/)
{
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a signal to act on: a write refused is none lost.
    const ssize_t written = ::write(signal_pipe.load(), &byte, 1);
    static_cast<void>(written);
    errno = saved;
}

// The lock file still at its path: not removed (nor made anew) by a
// Quillon that ended between its opening and its locking.
bool still_in_place(int lock, const QString& path)
{
    struct stat held {};
    struct stat there {};
    return ::fstat(lock, &held) == 0 && ::lstat(QFile::encodeName(path).constData(), &there) == 0 &&
           held.st_dev == there.st_dev && held.st_ino == there.st_ino;
}

}  // namespace

// The ending signals written to a pipe (a self-pipe) that the event loop
// reads; the handlers that were there before are put back when it goes.
// One server at a time watches them.
class InstanceServer::EndingSignals {
public:
    explicit EndingSignals(std::function<void()> ended)
    {
        int ends[2] = {-1, -1};
        if (signal_pipe.load() >= 0 || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            return;
        }
        read_ = ends[0];
        write_ = ends[1];
        signal_pipe.store(write_);
        struct sigaction action {};
        action.sa_handler = note_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            ::sigaction(kEndingSignals[i], &action, &before_[i]);
        }
        notifier_ = std::make_unique<QSocketNotifier>(read_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                         [this, ended = std::move(ended)] {
                             char bytes[16];
                             while (::read(read_, bytes, sizeof bytes) > 0) {
                             }
                             ended();
                         });
    }

    ~EndingSignals()
    {
        if (read_ < 0) {
            return;
        }
        notifier_.reset();
        for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
            ::sigaction(kEndingSignals[i], &before_[i], nullptr);
        }
        signal_pipe.store(-1);
        ::close(read_);
        ::close(write_);
    }

    EndingSignals(const EndingSignals&) = delete;
    EndingSignals& operator=(const EndingSignals&) = delete;

private:
    int read_ = -1;
    int write_ = -1;
    std::array<struct sigaction, kEndingSignals.size()> before_{};
    std::unique_ptr<QSocketNotifier> notifier_;
};

QString instance_socket_path()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    }
    return folder.isEmpty() ? QString() : folder + "/quillon.sock";
}

InstanceServer::InstanceServer(const QString& socket_path, int lock)
    : lock_(lock), lock_path_(socket_path + ".lock"),
      signals_(std::make_unique<EndingSignals>([this] { Ended(); })),
      server_(std::make_unique<QLocalServer>())
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, &InstanceServer::Accept);
    server_->listen(socket_path);
}

bool InstanceServer::IsListening() const
{
    return server_->isListening();
}

QString InstanceServer::ListenError() const
{
    return server_->errorString();
}

InstanceServer::~InstanceServer()
{
    signals_.reset();
    Remove();
    server_.reset();
    ::close(lock_);
}

void InstanceServer::Remove()
{
    if (std::exchange(removed_, true)) {
        return;
    }
    // Closing removes the socket; the lock file goes while it is still
    // held, so that a Quillon starting meanwhile makes and locks a new one.
    server_->close();
    QFile::remove(lock_path_);
}

void InstanceServer::Ended()
{
    Remove();
    QCoreApplication::exit(0);
}

void InstanceServer::SetRequestHandler(RequestHandler handler)
{
    handler_ = std::move(handler);
    for (FileNames& files : std::exchange(waiting_, {})) {
        QMetaObject::invokeMethod(
            this, [this, files = std::move(files)] { Handle(files); }, Qt::QueuedConnection);
    }
}

void InstanceServer::Accept()
{
    while (QLocalSocket* peer = server_->nextPendingConnection()) {
        // Peers are the server's children until they are deleted.
        if (server_->findChildren<QLocalSocket*>(Qt::FindDirectChildrenOnly).size() > kMaxPeers ||
            !peer_is_this_user(peer->socketDescriptor())) {
            drop(*peer);
            continue;
        }
        auto* idle = new QTimer(peer);
        idle->setSingleShot(true);
        idle->setInterval(kIdleMs);
        // The timer may be late when the event loop was busy: what came
        // meanwhile is read before the peer is judged idle.
        connect(idle, &QTimer::timeout, peer, [peer] {
            if (!peer->waitForReadyRead(0)) {
                drop(*peer);
            }
        });
        idle->start();
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(peer, &QLocalSocket::readyRead, this,
                [this, peer, buffer, idle] { Read(*peer, *buffer, *idle); });
        if (peer->bytesAvailable() > 0) {
            Read(*peer, *buffer, *idle);
        }
    }
}

void InstanceServer::Read(QLocalSocket& peer, QByteArray& buffer, QTimer& idle)
{
    if (peer.state() != QLocalSocket::ConnectedState || peer.bytesAvailable() == 0) {
        return;
    }
    idle.start();
    buffer += peer.readAll();
    if (buffer.size() < kHeader) {
        return;
    }
    const std::optional<qsizetype> length = announced_length(buffer);
    if (!length || buffer.size() > kHeader + *length) {
        drop(peer);
        return;
    }
    if (buffer.size() < kHeader + *length) {
        return;
    }
    const std::optional<FileNames> files = files_of(buffer.sliced(kHeader));
    buffer.clear();
    if (!files) {
        drop(peer);
        return;
    }
    idle.stop();
    peer.write(kAnswer);
    peer.disconnectFromServer();
    // Opening may show a message box of its own: not while the peer is read.
    QMetaObject::invokeMethod(
        this, [this, files = *files] { Handle(files); }, Qt::QueuedConnection);
}

void InstanceServer::Handle(const FileNames& files)
{
    if (handler_) {
        handler_(files);
    } else {
        waiting_.push_back(files);
    }
}

InstanceClaim claim_instance(const QString& socket_path, const std::vector<std::string>& files)
{
    if (socket_path.isEmpty()) {
        return claimed(Outcome::NoFolder);
    }
    if (auto refused = folder_refused(QFileInfo(socket_path).absolutePath())) {
        return std::move(*refused);
    }
    const QString lock_path = socket_path + ".lock";
    if (holds_other_than(lock_path, S_IFREG)) {
        return claimed(Outcome::NotOurs, lock_path);
    }
    const int lock = ::open(QFile::encodeName(lock_path).constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (lock < 0) {
        return claimed(Outcome::Failed, lock_path, system_reason(errno));
    }
    struct stat info {};
    if (::fstat(lock, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
        ::close(lock);
        return claimed(Outcome::NotOurs, lock_path);
    }
    const bool locked = ::flock(lock, LOCK_EX | LOCK_NB) == 0;
    if (locked && !still_in_place(lock, lock_path)) {
        ::close(lock);
        return claim_instance(socket_path, files);
    }
    if (!locked) {
        const int error = errno;
        ::close(lock);
        if (error != EWOULDBLOCK) {
            return claimed(Outcome::Failed, lock_path, system_reason(error));
        }
        const QByteArray request = request_of(files);
        if (request.size() > kHeader + kMaxRequest) {
            return claimed(Outcome::TooLarge, socket_path);
        }
        return claimed(hand_over(socket_path, request) == HandOver::Taken ? Outcome::HandedOver
                                                                          : Outcome::NoAnswer,
                       socket_path);
    }
    // No Quillon holds the lock: a socket at the socket's place is left by
    // one that was killed; anything else is not Quillon's.
    if (holds_other_than(socket_path, S_IFSOCK)) {
        ::close(lock);
        return claimed(Outcome::NotOurs, socket_path);
    }
    QFile::remove(socket_path);
    auto server = std::make_unique<InstanceServer>(socket_path, lock);
    if (!server->IsListening()) {
        return claimed(Outcome::Failed, socket_path, server->ListenError());
    }
    InstanceClaim serving = claimed(Outcome::Serving, socket_path);
    serving.server = std::move(server);
    return serving;
}

}  // namespace quillon
