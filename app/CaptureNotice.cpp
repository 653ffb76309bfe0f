#include "CaptureNotice.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

#include <utility>

namespace quillon {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// The action that a click on the notification itself invokes.
const QString kClickAction = QStringLiteral("default");
// A series re-arms right after the save: the window never waits on the bus
// for longer than this. (The notification itself is sent without waiting.)
constexpr int kCallTimeoutMilliseconds = 500;
// The service's own choice of how long a notification stays.
constexpr qint32 kServerTimeout = -1;

}  // namespace

CaptureNotices::CaptureNotices(QDBusConnection bus, Clicked clicked, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), clicked_(std::move(clicked))
{
    if (bus_.isConnected()) {
        bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                     SLOT(ActionInvoked(uint, QString)));
        bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                     SLOT(NotificationClosed(uint, uint)));
    }
}

bool CaptureNotices::ServiceRunning() const
{
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << kService;
    const QDBusReply<bool> owned = bus_.call(ask, QDBus::Block, kCallTimeoutMilliseconds);
    return owned.isValid() && owned.value();
}

bool CaptureNotices::Notify(const QString& path, int fired_record)
{
    if (!bus_.isConnected() || !ServiceRunning()) {
        return false;
    }
    QDBusMessage notify =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    notify << QStringLiteral("Quillon") << uint{0} << QStringLiteral("quillon")
           << tr("Capture saved")
           << tr("%1, fired record %2").arg(QFileInfo(path).fileName()).arg(fired_record)
           << QStringList{kClickAction, tr("Open")}
           << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("quillon")}}
           << kServerTimeout;
    // The id comes back later; a click can only come after it.
    auto* answer = new QDBusPendingCallWatcher(bus_.asyncCall(notify), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this,
            [this, path](QDBusPendingCallWatcher* done) {
                const QDBusPendingReply<uint> id = *done;
                if (id.isValid()) {
                    shown_[id.value()] = path;
                }
                done->deleteLater();
            });
    return true;
}

void CaptureNotices::ActionInvoked(uint id, const QString& action)
{
    const auto shown = shown_.find(id);
    if (shown == shown_.end() || action != kClickAction) {
        return;
    }
    const QString path = shown->second;  // a copy: the handler may run the event loop
    clicked_(path);
}

void CaptureNotices::NotificationClosed(uint id, uint /*reason*/)
{
    shown_.erase(id);
}

}  // namespace quillon
