// Desktop notifications of a series' captures, against a notification
// server of the test's own on a private session bus (a dbus-daemon of this
// process's): what a notification says, the click that hands its file back,
// a bus without the service; and the main window, which notifies only while
// it is not the active window and brings the clicked capture up in a browser.
#include "CaptureNotice.h"
#include "LogBrowser.h"
#include "MainWindowFixture.h"
#include "OpenLogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// Up before anything asks Qt for the session bus.
class PrivateBus : public ::testing::Environment {
public:
    void SetUp() override
    {
        installed = !QStandardPaths::findExecutable("dbus-daemon").isEmpty();
        daemon_ = std::make_unique<QProcess>();
        daemon_->start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (installed && daemon_->waitForReadyRead(5000)) {
            address = QString::fromUtf8(daemon_->readLine()).trimmed();
            qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
        }
    }
    void TearDown() override
    {
        daemon_->kill();
        daemon_->waitForFinished();
        daemon_.reset();  // while the application still is
    }

    bool installed = false;
    QString address;

private:
    std::unique_ptr<QProcess> daemon_;
};

PrivateBus* const bus = [] {
    auto* environment = new PrivateBus;
    ::testing::AddGlobalTestEnvironment(environment);
    return environment;
}();

// The notification service as far as a notifying program sees it; its
// notifications are numbered from 41.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        QString app, icon, summary, body;
        uint replaces;
        QStringList actions;
        int timeout;
    };
    std::vector<Shown> shown;

    // Owns the service's name on a connection of its own while it lives.
    NotificationServer() : bus_(QDBusConnection::connectToBus(bus->address, "server")) {}
    ~NotificationServer() override { QDBusConnection::disconnectFromBus("server"); }
    bool Register()
    {
        return bus_.registerObject(
                   "/org/freedesktop/Notifications", this,
                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals) &&
               bus_.registerService("org.freedesktop.Notifications");
    }
    bool WaitForShown(std::size_t count)
    {
        return QTest::qWaitFor([&] { return shown.size() >= count; }, 5000);
    }

public Q_SLOTS:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int timeout)
    {
        shown.push_back({app, icon, summary, body, replaces, actions, timeout});
        return static_cast<uint>(40 + shown.size());
    }
    QStringList GetCapabilities() { return {"actions", "body"}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& spec_version)
    {
        vendor = "tests";
        version = spec_version = "1.2";
        return "capture_notice_tests";
    }
    void CloseNotification(uint id) { emit NotificationClosed(id, 3); }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString& action_key);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection bus_;
};

void skip_without_a_bus()
{
    if (!bus->installed) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    ASSERT_FALSE(bus->address.isEmpty()) << "the private bus did not start";
}

class CaptureNoticesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(skip_without_a_bus()); }
    void TearDown() override { QDBusConnection::disconnectFromBus("client"); }

    quillon::CaptureNotices notices{QDBusConnection::connectToBus(bus->address, "client"),
                                    [this](const QString& path) { clicked.push_back(path); }};
    QStringList clicked;
};

TEST_F(CaptureNoticesTest, NamesTheFileAndFiredRecordAndHandsBackTheFileClicked)
{
    NotificationServer service;
    ASSERT_TRUE(service.Register());
    const QString first = "/home/night/Autolog_20261209031500.txt";
    ASSERT_TRUE(notices.Notify(first, 127));
    ASSERT_TRUE(service.WaitForShown(1));
    const auto& shown = service.shown[0];
    EXPECT_EQ(shown.app, "Quillon");
    EXPECT_EQ(shown.replaces, 0u);
    EXPECT_EQ(shown.icon, "quillon");
    EXPECT_EQ(shown.summary, "Capture saved");
    EXPECT_EQ(shown.body, "Autolog_20261209031500.txt, fired record 127");
    EXPECT_EQ(shown.actions, (QStringList{"default", "Open"}));
    EXPECT_EQ(shown.timeout, -1);

    // Signals arrive in the order sent: of these only the third is a click
    // on a notification of ours, and a notification closed is forgotten.
    emit service.ActionInvoked(7, "default");
    emit service.ActionInvoked(41, "other");
    emit service.ActionInvoked(41, "default");
    emit service.NotificationClosed(41, 2);
    emit service.ActionInvoked(41, "default");
    const QString second = "/home/night/Autolog_20261209031600.txt";
    ASSERT_TRUE(notices.Notify(second, 5));
    ASSERT_TRUE(service.WaitForShown(2));
    emit service.ActionInvoked(42, "default");
    ASSERT_TRUE(QTest::qWaitFor([&] { return clicked.size() >= 2; }, 5000));
    EXPECT_EQ(clicked, (QStringList{first, second}));
}

TEST_F(CaptureNoticesTest, SendsNothingWithoutTheServiceOrABusAndDoesNotWait)
{
    QElapsedTimer waited;
    waited.start();
    EXPECT_FALSE(notices.Notify("/home/night/before.txt", 1));
    EXPECT_LT(waited.elapsed(), 1000);
    quillon::CaptureNotices nowhere(QDBusConnection::connectToBus("unix:path=/nonexistent", "none"),
                                    [](const QString&) {});
    EXPECT_FALSE(nowhere.Notify("/home/night/before.txt", 1));

    // A service that comes later gets what is sent after it came only.
    NotificationServer service;
    ASSERT_TRUE(service.Register());
    ASSERT_TRUE(notices.Notify("/home/night/after.txt", 2));
    ASSERT_TRUE(service.WaitForShown(1));
    QTest::qWait(100);
    ASSERT_EQ(service.shown.size(), 1u);
    EXPECT_EQ(service.shown[0].body, "after.txt, fired record 2");
}

// A series of the main window against the simulated amplifier; the session
// bus is the private one.
class SeriesNoticeTest : public testsupport::MainWindowTest {
protected:
    SeriesNoticeTest()
    {
        quillon::set_documents_folder([this] { return QString::fromStdString(saves.string()); });
        quillon::set_clock([] { return QDateTime(QDate(2014, 7, 3), QTime(16, 5, 9)); });
    }
    ~SeriesNoticeTest() override
    {
        quillon::set_documents_folder({});
        quillon::set_clock({});
    }
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(skip_without_a_bus()); }

    void NextCapture()
    {
        model->advance(300);
        window->ChkTrigDtctTmrTimer();
        ASSERT_TRUE(messages.shown().empty());
    }
    void Activate(QWidget& shown)
    {
        shown.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&shown));
    }

    const std::filesystem::path saves =
        std::filesystem::path(testsupport::private_root()) / "saves";
    QWidget elsewhere;  // the window in use instead
};

TEST_F(SeriesNoticeTest, NotifiesWhileTheWindowIsNotActiveAndBringsUpTheCaptureClicked)
{
    NotificationServer service;
    ASSERT_TRUE(service.Register());
    ASSERT_TRUE(start());
    window->SetLogOpener([this](const QStringList& files) {
        open_logs(files, settings_path);
        elsewhere.activateWindow();  // as a desktop that keeps new windows behind
    });
    window->btnStatusCheckClick();
    auto& ui = window->controls();
    ui.cbxStopCondition->setChecked(true);
    ui.cbxDataSelect->setEditText(" 4");  // Recv[4] & 0x0F = 0x05, count 3
    ui.edtMaskData->setText("0x0F");
    ui.edtConditionData->setText("0x05");
    ui.edtLogStartCounter->setText("3");
    ui.cbxRearm->setChecked(true);
    window->btnLogStartClick();
    window->show();
    elsewhere.show();
    ASSERT_NO_FATAL_FAILURE(Activate(elsewhere));

    ASSERT_NO_FATAL_FAILURE(NextCapture());
    ASSERT_TRUE(service.WaitForShown(1));
    // Record 38 is the first whose Recv[4] ends in 5; three more follow it.
    EXPECT_EQ(service.shown[0].body, "Autolog_20140703160509.txt, fired record 38");
    emit service.ActionInvoked(41, "default");
    TfrmLogBrowser* browser = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        browser = qobject_cast<TfrmLogBrowser*>(QApplication::activeWindow());
        return browser != nullptr;
    }));
    const auto folder = saves / "Orvitek Corporation" / "Quillon";
    EXPECT_EQ(browser->path().toStdString(), (folder / "Autolog_20140703160509.txt").string());
    delete browser;

    // The second capture, saved while the window is active, is not
    // notified: the next notification is the third's.
    ASSERT_NO_FATAL_FAILURE(Activate(*window));
    ASSERT_NO_FATAL_FAILURE(NextCapture());
    ASSERT_TRUE(std::filesystem::exists(folder / "Autolog_20140703160509_2.txt"));
    ASSERT_NO_FATAL_FAILURE(Activate(elsewhere));
    ASSERT_NO_FATAL_FAILURE(NextCapture());
    ASSERT_TRUE(service.WaitForShown(2));
    EXPECT_EQ(service.shown.size(), 2u);
    EXPECT_EQ(service.shown[1].body, "Autolog_20140703160509_3.txt, fired record 62");
}

}  // namespace

#include "capture_notice_test.moc"
