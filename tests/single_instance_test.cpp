// One Quillon per session: the program running in this process (its
// windows against the simulated amplifier) and a second quillon, the built
// program, started as a user would while it runs. The second hands over its
// files (named relative to its own folder) or raises the main window and
// ends with status 0; a socket left by a killed Quillon is taken over; a
// peer that sends rubbish opens nothing and stops nothing.
#include "ChildProcess.h"
#include "LogBrowser.h"
#include "MainWindowFixture.h"
#include "SingleInstance.h"
#include "Startup.h"

#include <QApplication>
#include <QLocalSocket>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Outcome = quillon::InstanceClaim::Outcome;

std::vector<TfrmLogBrowser*> browsers()
{
    std::vector<TfrmLogBrowser*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* browser = qobject_cast<TfrmLogBrowser*>(widget)) {
            found.push_back(browser);
        }
    }
    return found;
}

// What a killed Quillon leaves: a socket file with no one listening.
void leave_stale_socket(const std::string& path)
{
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(descriptor, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size());
    const int bound =
        ::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(descriptor);
    ASSERT_EQ(bound, 0) << std::strerror(errno);
}

class SingleInstanceTest : public testsupport::MainWindowTest {
protected:
    SingleInstanceTest()
    {
        fs::create_directories(folder);
        fs::copy_file(fs::path(QUILLON_GOLDEN_DIR) / "fired.txt", folder / "fired.txt",
                      fs::copy_options::overwrite_existing);
    }

    ~SingleInstanceTest() override
    {
        program.reset();
        for (TfrmLogBrowser* browser : browsers()) {
            delete browser;
        }
    }

    // This process as the first Quillon, with its windows.
    void start_first()
    {
        quillon::InstanceClaim claim = quillon::claim_instance(socket_path, {});
        ASSERT_EQ(claim.outcome, Outcome::Serving);
        program = quillon::start_program(settings_path, {}, std::move(claim.server));
        ASSERT_TRUE(program);
    }

    // A second quillon run in `folder` with args, the event loop turning
    // meanwhile; its exit status, its output after it.
    std::string run_second(const std::vector<std::string>& args)
    {
        std::vector<std::string> shell{"-c", "cd \"$0\" && exec \"$@\"", folder.string(),
                                       testsupport::built_program("quillon")};
        shell.insert(shell.end(), args.begin(), args.end());
        testsupport::ChildProcess child("/bin/sh", shell);
        std::optional<int> status;
        const bool ended = QTest::qWaitFor(
            [&] {
                status = child.wait_for_exit(std::chrono::milliseconds(0));
                return status.has_value();
            },
            30000);
        std::string output = ended ? "" : "(still running)\n";
        while (const auto text = child.read_line(std::chrono::milliseconds(0))) {
            output += *text + "\n";
        }
        exit_status = status;
        return output;
    }

    QString socket_path = quillon::instance_socket_path();
    fs::path folder = fs::path(testsupport::private_root()) / "captures";
    std::unique_ptr<quillon::ProgramWindows> program;
    std::optional<int> exit_status;
};

TEST_F(SingleInstanceTest, TheSecondQuillonHandsItsFileToTheFirstOrRaisesIt)
{
    ASSERT_EQ(socket_path,
              QString::fromStdString(testsupport::private_root()) + "/runtime/quillon.sock");
    start_first();
    EXPECT_EQ(fs::status(socket_path.toStdString()).permissions() &
                  (fs::perms::group_all | fs::perms::others_all),
              fs::perms::none);

    // Named relative to the second one's folder, which is not this one's.
    std::string output = run_second({"fired.txt"});
    EXPECT_EQ(exit_status, 0) << output;
    ASSERT_TRUE(QTest::qWaitFor([] { return browsers().size() == 1; }));
    EXPECT_EQ(browsers().front()->windowTitle(), "fired.txt - Quillon");

    program->main_form->hide();
    output = run_second({});
    EXPECT_EQ(exit_status, 0) << output;
    EXPECT_TRUE(QTest::qWaitFor([&] { return program->main_form->isVisible(); }));
    EXPECT_EQ(browsers().size(), 1u);
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(SingleInstanceTest, ASocketLeftByAKilledQuillonIsTakenOver)
{
    leave_stale_socket(socket_path.toStdString());
    quillon::InstanceClaim claim = quillon::claim_instance(socket_path, {});
    ASSERT_EQ(claim.outcome, Outcome::Serving);

    // Handed over before the first has its windows: the request waits.
    const std::string output = run_second({"fired.txt", "other.txt"});
    EXPECT_EQ(exit_status, 0) << output;
    QStringList handed;
    claim.server->SetRequestHandler([&](const QStringList& files) { handed = files; });
    const QString captures = QString::fromStdString(folder.string());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !handed.isEmpty(); }));
    EXPECT_EQ(handed, (QStringList{captures + "/fired.txt", captures + "/other.txt"}));
}

TEST_F(SingleInstanceTest, APeerThatSendsRubbishOpensNothingAndStopsNothing)
{
    start_first();
    const QByteArray oversized(4 * 1024 * 1024 + 1, '[');
    const QString fired = QString::fromStdString((folder / "fired.txt").string());
    for (const QByteArray& request : {QByteArray("not json\n"), QByteArray("{\"files\": []}\n"),
                                      QByteArray("[\"fired.txt\"]\n"), QByteArray("[7]\n"),
                                      "[\"" + fired.toUtf8() + "\"", oversized}) {
        QLocalSocket rubbish;
        rubbish.connectToServer(socket_path);
        ASSERT_TRUE(rubbish.waitForConnected(5000));
        rubbish.write(request);
        // Dropped without an answer; the last but one because it never ends.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return rubbish.state() == QLocalSocket::UnconnectedState; }, 10000))
            << request.left(40).toStdString();
        EXPECT_TRUE(rubbish.readAll().isEmpty());
    }
    QApplication::processEvents();
    EXPECT_TRUE(browsers().empty());

    const std::string output = run_second({"fired.txt"});
    EXPECT_EQ(exit_status, 0) << output;
    EXPECT_TRUE(QTest::qWaitFor([] { return browsers().size() == 1; }));
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(SingleInstanceTest, AFolderOthersMayEnterIsNotUsed)
{
    const fs::path shared = fs::path(testsupport::private_root()) / "shared";
    fs::create_directories(shared);
    fs::permissions(shared, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    const QString path = QString::fromStdString((shared / "quillon.sock").string());
    EXPECT_EQ(quillon::claim_instance(path, {}).outcome, Outcome::Alone);
    EXPECT_TRUE(fs::is_empty(shared));
}

}  // namespace
