#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

namespace quillon {

namespace {

// A request is one compact JSON array of file names and a newline. The
// bound lies above any command line (Linux allows 2 MiB of arguments).
constexpr qsizetype kMaxRequest = qsizetype{4} * 1024 * 1024;
const QByteArray kAnswer = "ok\n";
// How long a later Quillon waits for the connection and then the answer.
constexpr int kAnswerMs = 2000;
constexpr unsigned long kRetryMs = 50;
// A peer that sends no whole request in this time is dropped.
constexpr int kPeerMs = 5000;
constexpr qsizetype kMaxPeers = 8;

// Owned by this user and open to nobody else.
bool private_folder(const QString& folder)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
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

QByteArray request_of(const QStringList& files)
{
    QJsonArray names;
    for (const QString& file : files) {
        names.append(QDir::current().absoluteFilePath(file));
    }
    return QJsonDocument(names).toJson(QJsonDocument::Compact) + '\n';
}

// The absolute file names of a request; nothing when it is not one.
std::optional<QStringList> files_of(const QByteArray& request)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(request, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        return std::nullopt;
    }
    QStringList files;
    for (const QJsonValue value : document.array()) {
        const QString file = value.toString();
        if (!value.isString() || !QDir::isAbsolutePath(file) || file.contains(QChar(u'\0'))) {
            return std::nullopt;
        }
        files.append(file);
    }
    return files;
}

enum class HandOver { Taken, NoAnswer };

// The lock's holder is listening, or is about to: a connection refused, or
// no socket yet, is tried again until the time is up.
HandOver hand_over(const QString& path, const QByteArray& request)
{
    const QDeadlineTimer deadline(kAnswerMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(path);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            break;
        }
        if (deadline.hasExpired() || socket.error() == QLocalSocket::SocketTimeoutError) {
            return HandOver::NoAnswer;
        }
        QThread::msleep(kRetryMs);
    }
    if (!peer_is_this_user(socket.socketDescriptor())) {
        return HandOver::NoAnswer;
    }
    socket.write(request);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            return HandOver::NoAnswer;
        }
    }
    QByteArray answer;
    while (answer.size() < kAnswer.size() &&
           socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        answer += socket.read(kAnswer.size() - answer.size());
    }
    return answer == kAnswer ? HandOver::Taken : HandOver::NoAnswer;
}

// The lock file beside the socket, this user's; -1 when it cannot be had.
int open_lock(const QString& socket_path)
{
    const int lock = ::open(QFile::encodeName(socket_path + ".lock").constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat info {};
    if (lock >= 0 &&
        (::fstat(lock, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid())) {
        ::close(lock);
        return -1;
    }
    return lock;
}

void drop(QLocalSocket& peer)
{
    peer.abort();
    peer.deleteLater();
}

}  // namespace

QString instance_socket_path()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    }
    return folder.isEmpty() ? QString() : folder + "/quillon.sock";
}

InstanceServer::InstanceServer(std::unique_ptr<QLocalServer> server, int lock)
    : lock_(lock), server_(std::move(server))
{
    connect(server_.get(), &QLocalServer::newConnection, this, &InstanceServer::Accept);
}

InstanceServer::~InstanceServer()
{
    server_.reset();
    ::close(lock_);
}

void InstanceServer::SetRequestHandler(RequestHandler handler)
{
    handler_ = std::move(handler);
    for (QStringList& files : std::exchange(waiting_, {})) {
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
        auto* limit = new QTimer(peer);
        limit->setSingleShot(true);
        connect(limit, &QTimer::timeout, peer, [peer] { drop(*peer); });
        limit->start(kPeerMs);
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(peer, &QLocalSocket::readyRead, this,
                [this, peer, buffer] { Read(*peer, *buffer); });
        if (peer->bytesAvailable() > 0) {
            Read(*peer, *buffer);
        }
    }
}

void InstanceServer::Read(QLocalSocket& peer, QByteArray& buffer)
{
    if (peer.state() != QLocalSocket::ConnectedState) {
        return;
    }
    buffer += peer.read(kMaxRequest + 1 - buffer.size());
    const qsizetype end = buffer.indexOf('\n');
    if (end < 0) {
        if (buffer.size() > kMaxRequest) {
            drop(peer);
        }
        return;
    }
    const std::optional<QStringList> files = files_of(buffer.left(end));
    buffer.clear();
    if (!files) {
        drop(peer);
        return;
    }
    peer.write(kAnswer);
    peer.disconnectFromServer();
    // Opening may show a message box of its own: not while the peer is read.
    QMetaObject::invokeMethod(
        this, [this, files = *files] { Handle(files); }, Qt::QueuedConnection);
}

void InstanceServer::Handle(const QStringList& files)
{
    if (handler_) {
        handler_(files);
    } else {
        waiting_.push_back(files);
    }
}

InstanceClaim claim_instance(const QString& socket_path, const QStringList& files)
{
    using Outcome = InstanceClaim::Outcome;
    if (socket_path.isEmpty() || !private_folder(QFileInfo(socket_path).absolutePath())) {
        return {};
    }
    const QByteArray request = request_of(files);
    if (request.size() > kMaxRequest) {
        return {};
    }
    const int lock = open_lock(socket_path);
    if (lock < 0) {
        return {};
    }
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        ::close(lock);
        if (errno != EWOULDBLOCK) {
            return {};
        }
        return {hand_over(socket_path, request) == HandOver::Taken ? Outcome::HandedOver
                                                                   : Outcome::NoAnswer,
                nullptr};
    }
    // No Quillon holds the lock: whatever is at the socket's place is left
    // by one that was killed.
    QFile::remove(socket_path);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socket_path)) {
        ::close(lock);
        return {};
    }
    return {Outcome::Serving, std::make_unique<InstanceServer>(std::move(server), lock)};
}

}  // namespace quillon
