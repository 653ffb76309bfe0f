// One Quillon per session: the program running in this process (its
// windows against the simulated amplifier) and a second quillon, the built
// program, started as a user would while it runs. The second hands over its
// files (named relative to its own folder, as the bytes they are) or raises
// the main window and ends with status 0; a socket left by a killed Quillon
// is taken over; a peer that sends rubbish, or nothing, opens nothing and
// stops nothing; a place that is not Quillon's is left alone and named.
#include "ChildProcess.h"
#include "LogBrowser.h"
#include "MainWindowFixture.h"
#include "SingleInstance.h"
#include "Startup.h"

#include <QApplication>
#include <QLocalSocket>
#include <QTest>
#include <QtEndian>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
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
    std::vector<std::string> handed;
    claim.server->SetRequestHandler([&](const std::vector<std::string>& files) { handed = files; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return !handed.empty(); }));
    EXPECT_EQ(handed, (std::vector<std::string>{(folder / "fired.txt").string(),
                                                (folder / "other.txt").string()}));
}

// A Quillon ended by a signal takes its socket and its lock with it, and
// ends as it does when its window closes.
TEST_F(SingleInstanceTest, ASocketGoesWithTheQuillonThatASignalEnds)
{
    const fs::path socket = socket_path.toStdString();
    const fs::path lock = socket.string() + ".lock";
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(number);
        testsupport::ChildProcess quillon(testsupport::built_program("quillon"), {});
        ASSERT_TRUE(QTest::qWaitFor([&] { return fs::is_socket(socket); }, 30000))
            << quillon.read_line(std::chrono::milliseconds(0)).value_or("");
        EXPECT_TRUE(fs::is_regular_file(lock));
        quillon.signal(number);
        EXPECT_EQ(quillon.wait_for_exit(std::chrono::seconds(30)), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(socket)));
        EXPECT_FALSE(fs::exists(fs::symlink_status(lock)));
    }
}

// A request as the program frames it: "QLON", the body's length (here
// more than it is), the body.
QByteArray framed(const QByteArray& body, qsizetype more = 0)
{
    QByteArray header(4, '\0');
    qToBigEndian(static_cast<quint32>(body.size() + more), header.data());
    return "QLON" + header + body;
}

TEST_F(SingleInstanceTest, APeerThatSendsRubbishOpensNothingAndStopsNothing)
{
    start_first();
    const QByteArray fired = QByteArray::fromStdString((folder / "fired.txt").string());
    const QByteArray whole = fired + '\0';
    for (const QByteArray& request :
         {QByteArray("[\"" + fired + "\"]\n"), framed(whole).replace(0, 1, "X"),
          framed(QByteArray("fired.txt", 10)), framed(fired), framed(whole) + "more",
          framed({}, 64 * 1024 * 1024 + 1), framed(whole, 1), QByteArray("QLO")}) {
        QLocalSocket rubbish;
        rubbish.connectToServer(socket_path);
        ASSERT_TRUE(rubbish.waitForConnected(5000));
        rubbish.write(request);
        // Dropped without an answer; the last two after a second, as they
        // never end.
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

TEST_F(SingleInstanceTest, ManyFilesAreHandedOverPastPeersThatSendNothing)
{
    quillon::InstanceClaim claim = quillon::claim_instance(socket_path, {});
    ASSERT_EQ(claim.outcome, Outcome::Serving);
    std::vector<std::string> handed;
    claim.server->SetRequestHandler([&](const std::vector<std::string>& files) { handed = files; });
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < 9; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(socket_path);
        ASSERT_TRUE(idle.back()->waitForConnected(5000));
    }
    // About 1 MB of names, made absolute by the second.
    std::vector<std::string> names;
    for (int i = 0; i < 20000; ++i) {
        names.push_back("Autolog_20261209" + std::to_string(100000 + i) + ".txt");
    }
    const std::string output = run_second(names);
    EXPECT_EQ(exit_status, 0) << output;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !handed.empty(); }));
    ASSERT_EQ(handed.size(), names.size());
    EXPECT_EQ(handed.back(), (folder / names.back()).string());
    for (const auto& connection : idle) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return connection->state() == QLocalSocket::UnconnectedState; }, 5000));
    }
}

TEST_F(SingleInstanceTest, ANameThatIsNotUtf8OpensFirstOrHandedOver)
{
    const std::string odd = "nu_\xff\xfe.txt";
    fs::copy_file(folder / "fired.txt", folder / odd, fs::copy_options::overwrite_existing);
    const QString title = QString::fromUtf16(u"nu_\uFFFD\uFFFD.txt - Quillon");
    program = quillon::start_program(settings_path, {(folder / odd).string()});
    ASSERT_TRUE(program);
    ASSERT_EQ(browsers().size(), 1u);
    EXPECT_EQ(browsers().front()->windowTitle(), title);
    program.reset();
    delete browsers().front();

    start_first();
    std::string output = run_second({odd});
    EXPECT_EQ(exit_status, 0) << output;
    ASSERT_TRUE(QTest::qWaitFor([] { return browsers().size() == 1; }));
    EXPECT_EQ(browsers().front()->windowTitle(), title);

    // After "--" a word that looks like an option is a file.
    fs::copy_file(folder / "fired.txt", folder / "--odd-name.txt");
    output = run_second({"--", "--odd-name.txt"});
    EXPECT_EQ(exit_status, 0) << output;
    ASSERT_TRUE(QTest::qWaitFor([] { return browsers().size() == 2; }));
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(SingleInstanceTest, HelpVersionAndUnknownOptionsOpenNothing)
{
    start_first();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string output;
    };
    for (const Case& run : {Case{{"--version"}, 0, "quillon (Quillon) "},
                            Case{{"fired.txt", "--help"}, 0, "Usage: quillon [OPTIONS] [FILE]..."},
                            Case{{"--foo", "fired.txt"}, 2, "quillon: unknown option --foo"}}) {
        const std::string output = run_second(run.args);
        EXPECT_EQ(exit_status, run.status) << output;
        EXPECT_NE(output.find(run.output), std::string::npos) << output;
    }
    QApplication::processEvents();
    EXPECT_TRUE(browsers().empty());
    EXPECT_TRUE(messages.shown().empty());
}

// What is not Quillon's is left where it is and named; Quillon runs on
// without the hand-over and says so.
TEST_F(SingleInstanceTest, APlaceThatIsNotQuillonsIsLeftAloneAndNamed)
{
    const fs::path place = fs::path(testsupport::private_root()) / "place";
    const fs::path socket = place / "quillon.sock";
    const fs::path lock = place / "quillon.sock.lock";
    struct Case {
        const char* what;
        void (*make)(const fs::path& socket, const fs::path& lock);
        Outcome outcome;
        fs::path named;
    };
    const Case cases[] = {
        {"a folder others may enter",
         [](const fs::path& at_socket, const fs::path&) {
             fs::permissions(at_socket.parent_path(), fs::perms::group_read | fs::perms::group_exec,
                             fs::perm_options::add);
         },
         Outcome::OpenFolder, place},
        {"a folder at the socket's place",
         [](const fs::path& at_socket, const fs::path&) { fs::create_directory(at_socket); },
         Outcome::NotOurs, socket},
        {"a folder at the lock's place",
         [](const fs::path&, const fs::path& at_lock) { fs::create_directory(at_lock); },
         Outcome::NotOurs, lock},
        {"a named pipe at the lock's place",
         [](const fs::path&, const fs::path& at_lock) { ::mkfifo(at_lock.c_str(), 0600); },
         Outcome::NotOurs, lock},
        {"a link at the socket's place",
         [](const fs::path& at_socket, const fs::path&) {
             fs::create_symlink("/dev/null", at_socket);
         },
         Outcome::NotOurs, socket},
    };
    for (const Case& bad : cases) {
        SCOPED_TRACE(bad.what);
        fs::remove_all(place);
        fs::create_directory(place);
        fs::permissions(place, fs::perms::owner_all);
        bad.make(socket, lock);
        const fs::file_type made = fs::symlink_status(bad.named).type();

        const QString path = QString::fromStdString(socket.string());
        const quillon::InstanceClaim claim = quillon::claim_instance(path, {"fired.txt"});
        EXPECT_EQ(claim.outcome, bad.outcome);
        EXPECT_EQ(claim.path.toStdString(), bad.named.string());
        EXPECT_FALSE(claim.server);
        EXPECT_EQ(fs::symlink_status(bad.named).type(), made);
        EXPECT_FALSE(fs::is_socket(fs::symlink_status(socket)));

        messages.clear();
        quillon::say_why_alone(claim);
        ASSERT_EQ(messages.shown().size(), 1u);
        EXPECT_EQ(messages.shown().front().icon, quillon::MessageIcon::Warning);
        EXPECT_NE(messages.shown().front().text.find(bad.named.string()), std::string::npos)
            << messages.shown().front().text;
    }
}

}  // namespace
