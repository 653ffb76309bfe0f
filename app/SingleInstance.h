// One Quillon per user session. A Quillon that starts while another runs
// hands its command line's files to it through a local socket in the user's
// runtime folder (or, without files, asks it to raise its main window) and
// ends; the first one listens there for as long as its windows live. A
// socket file is never trusted: the first Quillon is the one that holds the
// lock beside it, and a socket found without a holder (left by a Quillon
// that was killed) is removed and taken over.
#pragma once

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QLocalServer;
class QLocalSocket;

namespace quillon {

// quillon.sock in $XDG_RUNTIME_DIR, or in Qt's runtime folder when that is
// not set; empty when there is neither.
QString instance_socket_path();

// Listens for the requests of later Quillons: a list of absolute file
// names to open, or an empty list to raise the main window. A request is
// answered at once and handled from the event loop; requests that come
// before there is a handler wait for it.
class InstanceServer : public QObject {
public:
    using RequestHandler = std::function<void(const QStringList& files)>;

    // server: listening already; lock: the descriptor of the lock held,
    // released when this goes.
    InstanceServer(std::unique_ptr<QLocalServer> server, int lock);
    ~InstanceServer() override;
    InstanceServer(const InstanceServer&) = delete;
    InstanceServer& operator=(const InstanceServer&) = delete;

    void SetRequestHandler(RequestHandler handler);

private:
    void Accept();
    void Read(QLocalSocket& peer, QByteArray& buffer);
    void Handle(const QStringList& files);

    int lock_;
    std::unique_ptr<QLocalServer> server_;
    RequestHandler handler_;
    std::vector<QStringList> waiting_;
};

struct InstanceClaim {
    enum class Outcome {
        HandedOver,  // a running Quillon took the request: this one ends
        NoAnswer,    // a running Quillon took the connection but did not answer
        Serving,     // this is the first Quillon and listens (server is set)
        Alone,       // no hand-over here: the folder is not the user's own alone,
                     // or the lock or socket could not be made; Quillon starts
                     // as before
    };
    Outcome outcome = Outcome::Alone;
    std::unique_ptr<InstanceServer> server;
};

// Hands files (as named on the command line, relative to the working
// folder) to the Quillon listening at socket_path, or listens there.
InstanceClaim claim_instance(const QString& socket_path, const QStringList& files);

}  // namespace quillon
