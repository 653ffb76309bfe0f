// One Quillon per user session. A Quillon that starts while another runs
// hands its command line's files to it through a local socket in the user's
// runtime folder (or, without files, asks it to raise its main window) and
// ends; the first one listens there for as long as its windows live. A
// socket file is never trusted: the first Quillon is the one that holds the
// lock beside it, and a socket found without a holder (left by a Quillon
// that was killed) is removed and taken over. Anything else at the socket's
// or the lock's place, or a folder that others may enter, is left alone and
// reported: that Quillon runs without the hand-over. The socket and the
// lock go with the Quillon that made them: when it ends, and at once when
// SIGTERM, SIGINT or SIGHUP ends it (the event loop is then left, so that
// it quits as it does when its window closes).
//
// File names travel as the bytes they are (a name need not be UTF-8): a
// request is a frame, "QLON", its length (4 bytes, big-endian), then the
// absolute names, each ended by a NUL; none asks for the main window. It is
// answered "ok\n" as soon as it is whole, before it is handled.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;
class QLocalSocket;
class QTimer;

namespace quillon {

// quillon.sock in $XDG_RUNTIME_DIR, or in Qt's runtime folder when that is
// not set; empty when there is neither.
QString instance_socket_path();

// Listens for the requests of later Quillons: a list of absolute file
// names to open, or an empty list to raise the main window. A request is
// answered once it is whole and handled from the event loop; requests that
// come before there is a handler wait for it. A peer that sends nothing for
// a second is dropped.
class InstanceServer : public QObject {
public:
    using FileNames = std::vector<std::string>;
    using RequestHandler = std::function<void(const FileNames& files)>;

    // Listens at socket_path, the ending signals caught first so that no
    // socket is there before they are; lock: the descriptor of the lock
    // held beside it, released when this goes, the socket and the lock
    // file removed.
    InstanceServer(const QString& socket_path, int lock);
    ~InstanceServer() override;
    InstanceServer(const InstanceServer&) = delete;
    InstanceServer& operator=(const InstanceServer&) = delete;

    // Whether it listens; why not when it does not.
    bool IsListening() const;
    QString ListenError() const;

    void SetRequestHandler(RequestHandler handler);

private:
    void Accept();
    void Read(QLocalSocket& peer, QByteArray& buffer, QTimer& idle);
    void Handle(const FileNames& files);
    // Removes the socket and the lock file, once.
    void Remove();
    // A signal that ends the program has come: the files go, then the
    // event loop is left.
    void Ended();

    class EndingSignals;
    int lock_;
    QString lock_path_;
    bool removed_ = false;
    std::unique_ptr<EndingSignals> signals_;
    std::unique_ptr<QLocalServer> server_;
    RequestHandler handler_;
    std::vector<FileNames> waiting_;
};

struct InstanceClaim {
    enum class Outcome {
        HandedOver,  // a running Quillon took the request: this one ends
        NoAnswer,    // a running Quillon (it holds the lock) did not take the
                     // request at path
        TooLarge,    // a running Quillon holds the lock, but the request is
                     // larger than a running one takes
        Serving,     // this is the first Quillon and listens at path (server
                     // is set)
        // No hand-over: Quillon runs as a window of its own and says why.
        NoFolder,    // there is no runtime folder to hold the socket
        OpenFolder,  // path, the runtime folder, is not this user's alone
        NotOurs,     // path, the socket's or the lock's place, holds a folder
                     // or another kind of file, which is not Quillon's to
                     // remove
        Failed,      // the lock or the socket at path could not be made:
                     // reason says why
    };
    Outcome outcome = Outcome::NoFolder;
    QString path;
    QString reason;
    std::unique_ptr<InstanceServer> server;
};

// Hands files (as named on the command line, relative to the working
// folder, as bytes) to the Quillon listening at socket_path, or listens
// there.
InstanceClaim claim_instance(const QString& socket_path, const std::vector<std::string>& files);

}  // namespace quillon
