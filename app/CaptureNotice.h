// A desktop notification for each capture a series saves, through the
// freedesktop notification service on D-Bus: it names the file and its
// fired record, and a click on it hands the file back. Without a bus, or
// with no notification service on it, nothing is sent and nothing is said.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

namespace quillon {

class CaptureNotices : public QObject {
    Q_OBJECT

public:
    using Clicked = std::function<void(const QString& path)>;

    // bus: the session bus in the program; clicked gets the file of a
    // notification that the user clicked.
    CaptureNotices(QDBusConnection bus, Clicked clicked, QObject* parent = nullptr);

    // Sends the notification of the capture saved at path, whose trigger
    // fired at record fired_record, without waiting for the service's
    // answer. False when there is no service to send it to.
    bool Notify(const QString& path, int fired_record);

private Q_SLOTS:
    // The service's signals (slots, because QtDBus connects them by name).
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);

private:
    bool ServiceRunning() const;

    QDBusConnection bus_;
    Clicked clicked_;
    // The file of each notification shown, by the id that the service gave it.
    std::map<uint, QString> shown_;
};

}  // namespace quillon
