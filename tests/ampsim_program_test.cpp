// ampsim as a program: what it prints, that both endpoints answer, that
// control commands reach the model, that it cleans up on a stop signal, and
// that it starts again however it ended.
#include "ChildProcess.h"
#include "HalvexSocket.h"
#include "PortLinks.h"
#include "PortPath.h"
#include "TarnlinkApi.h"
#include "TestEnvironment.h"
#include "UniqueFd.h"
#include "Version.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <array>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;

std::string ampsim_path()
{
    return testsupport::bin_dir() + "/ampsim";
}

// The amplifier answers over the serial link COMn.
void expect_answers_on(int port)
{
    const auto& api = testsupport::tarnlink();
    ASSERT_EQ(api.dfComSetReady(9600, port), 0);
    std::array<std::uint8_t, 1024> response{};
    EXPECT_EQ(api.communicate(0xDF, nullptr, 0, response.data()), 0);
    EXPECT_EQ(response[0], 66);
    api.dfComSetClose();
}

TEST(AmpsimProgram, HelpListsTheOptionsAndVersionNamesIt)
{
    ChildProcess help(ampsim_path(), {"--help"});
    std::string text;
    while (const auto line = help.read_line(2s)) {
        text += *line + "\n";
    }
    EXPECT_EQ(help.wait_for_exit(5s), 0);
    for (const char* option : {"--port",
                               "--seed",
                               "--traffic",
                               "--send-offset",
                               "--line-rate",
                               "--variant",
                               "--fault",
                               "corrupt",
                               "drop-usb",
                               "--host",
                               "cyclic",
                               "--alarm-every",
                               "44 alarm read",
                               "--alarm-mean",
                               "--alarm-cause",
                               "position-above=MM",
                               "speed-below=RPM",
                               "setpoint=MM",
                               "status=moving|stopped|in-position",
                               "input=enable|home|end",
                               "--alarm-lag",
                               "--alarm-noise"}) {
        EXPECT_NE(text.find(option), std::string::npos) << option;
    }
    ChildProcess version(ampsim_path(), {"--version"});
    EXPECT_EQ(version.read_line(2s), std::string("ampsim (Quillon) ") + quillon::kVersion);
    EXPECT_EQ(version.wait_for_exit(5s), 0);
}

// A usage error says in one line what was wrong, then where to read more.
TEST(AmpsimProgram, AUsageErrorIsOneLineAndAPointerToTheHelp)
{
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--port", "17"}, "bad value for --port: 17"},
        {{"--seed"}, "--seed needs a value"},
        {{"--fault", "explode:3"}, "unknown fault explode:3"},
        {{"--fault", "corrupt:many"}, "unknown fault corrupt:many"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--host", "chaotic"}, "unknown host chaotic"},
        {{"--alarm-every", "-1"}, "bad value for --alarm-every: -1"},
        {{"--alarm-mean", "5"}, "bad value for --alarm-mean: 5"},
        {{"--alarm-lag", "41"}, "bad value for --alarm-lag: 41"},
        {{"--alarm-noise", "1.5"}, "bad value for --alarm-noise: 1.5"},
        {{"--alarm-cause", "speed-above=fast"},
         "bad value for --alarm-cause: speed-above=fast (speed-above needs a whole number of "
         "rpm, -32768 to 32767)"},
        // Options that need others, whatever their order.
        {{"--host", "cyclic", "--alarm-mean", "300", "--alarm-every", "300"},
         "--alarm-every and --alarm-mean cannot be given together"},
        {{"--host", "cyclic", "--alarm-cause", "setpoint=50"},
         "--alarm-cause needs --alarm-every or --alarm-mean"},
        {{"--alarm-lag", "2", "--host", "cyclic", "--alarm-every", "300"},
         "--alarm-lag needs --alarm-cause"},
        {{"--alarm-noise", "0.2", "--host", "cyclic", "--alarm-mean", "300"},
         "--alarm-noise needs --alarm-cause"},
        {{"--alarm-mean", "300"}, "--alarm-mean needs --host cyclic"},
        {{"--alarm-every", "300", "--alarm-cause", "input=home"},
         "--alarm-cause needs --host cyclic"},
        {{"--host", "cyclic", "--alarm-mean", "300", "--alarm-cause", "position-above=50"},
         "--alarm-cause position-above=50 never holds in the cyclic host's move"},
    };
    for (const auto& c : cases) {
        ChildProcess bad(ampsim_path(), c.args);
        EXPECT_EQ(bad.read_line(2s), std::string("ampsim: ") + c.says);
        EXPECT_EQ(bad.read_line(2s), "Try 'ampsim --help'.") << c.says;
        EXPECT_EQ(bad.read_line(2s), std::nullopt) << c.says;
        EXPECT_EQ(bad.wait_for_exit(5s), 1) << c.says;
    }
}

TEST(AmpsimProgram, StartsWithAPlantedCauseGivenInAnyOrder)
{
    ChildProcess ampsim(ampsim_path(), {"--alarm-noise", "0.1", "--alarm-lag", "2", "--alarm-cause",
                                        "input=home", "--alarm-mean", "300", "--host", "cyclic",
                                        "--traffic", "0", "--port", "2", "--no-usb"});
    ASSERT_TRUE(ampsim.wait_for_line("serving COM2", 5s));
    ampsim.signal(SIGTERM);
    EXPECT_EQ(ampsim.wait_for_exit(5s), 0);
}

TEST(AmpsimProgram, ServesBothEndpointsAndRemovesThemOnSigterm)
{
    ChildProcess ampsim(ampsim_path(), {"--port", "2", "--traffic", "0"});
    ASSERT_TRUE(ampsim.wait_for_line("serving COM2", 5s));
    ASSERT_TRUE(ampsim.wait_for_line("serving USB", 5s));
    const std::string link = tarnlink::port_link_path(2);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(std::filesystem::exists(halvex::socket_path()));

    expect_answers_on(2);

    // Control commands reach the model.
    ampsim.write_line("advance 7");
    EXPECT_TRUE(ampsim.wait_for_line("ran 7 host exchanges", 5s));
    ampsim.write_line("status");
    const auto status = ampsim.wait_for_line("log status", 5s);
    ASSERT_TRUE(status);
    EXPECT_NE(status->find("7 host exchanges"), std::string::npos) << *status;

    ampsim.signal(SIGTERM);
    EXPECT_EQ(ampsim.wait_for_exit(5s), 0);
    EXPECT_TRUE(std::filesystem::is_empty(tarnlink::ports_folder())) << "its owner file too";
    EXPECT_FALSE(std::filesystem::exists(halvex::socket_path()));
}

// A closed terminal stops it as SIGTERM does; after kill -9 its link and
// socket are left, and the next one on the port must still start and answer,
// also while the killed one is a zombie that its parent (here the test) has
// not reaped yet.
TEST(AmpsimProgram, StartsAgainOnItsPortAfterSighupOrKill)
{
    const struct {
        int signal;
        bool reaped;
        int status;
    } endings[] = {{SIGHUP, true, 0}, {SIGKILL, true, -SIGKILL}, {SIGKILL, false, -SIGKILL}};
    for (const auto& ending : endings) {
        ChildProcess first(ampsim_path(), {"--port", "2", "--traffic", "0"});
        ASSERT_TRUE(first.wait_for_line("serving USB", 5s));
        first.signal(ending.signal);
        if (ending.reaped) {
            EXPECT_EQ(first.wait_for_exit(5s), ending.status);
        } else {
            ASSERT_TRUE(first.wait_for_end_unreaped(5s));
        }
        EXPECT_EQ(std::filesystem::is_symlink(tarnlink::port_link_path(2)),
                  ending.signal == SIGKILL);
        {
            ChildProcess next(ampsim_path(), {"--port", "2", "--traffic", "0"});
            const auto serving = next.wait_for_line("ampsim: ", 5s);
            ASSERT_TRUE(serving) << ending.signal << " reaped " << ending.reaped;
            ASSERT_NE(serving->find("serving COM2"), std::string::npos) << *serving;
            expect_answers_on(2);
            next.signal(SIGTERM);
            EXPECT_EQ(next.wait_for_exit(5s), 0);
        }
        EXPECT_EQ(first.wait_for_exit(5s), ending.status);
    }
}

// The links of killed simulators go when the next one starts, so that none
// leads to a pseudo-terminal that another simulator has been given since;
// also one whose parent has not reaped it yet. A link that the user has put
// in the place of one stays.
TEST(AmpsimProgram, RemovesTheLinksOfKilledSimulatorsButNotTheUsersOwn)
{
    namespace fs = std::filesystem;
    ChildProcess unreaped(ampsim_path(), {"--port", "4", "--no-usb"});
    ChildProcess reaped(ampsim_path(), {"--port", "6", "--no-usb"});
    for (ChildProcess* killed : {&unreaped, &reaped}) {
        ASSERT_TRUE(killed->wait_for_line("serving COM", 5s));
        killed->signal(SIGKILL);
    }
    ASSERT_TRUE(unreaped.wait_for_end_unreaped(5s));
    ASSERT_EQ(reaped.wait_for_exit(5s), -SIGKILL);
    const fs::path killed_link = tarnlink::port_link_path(4);
    const fs::path users_link = tarnlink::port_link_path(6);
    fs::remove(users_link);
    fs::create_symlink("/dev/null", users_link);

    ChildProcess next(ampsim_path(), {"--port", "5", "--no-usb"});
    ASSERT_TRUE(next.wait_for_line("serving COM5", 5s));
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(killed_link)));
    EXPECT_FALSE(fs::exists(ampsim::owner_file_path(killed_link)));
    EXPECT_EQ(fs::read_symlink(users_link), "/dev/null");
    EXPECT_FALSE(fs::exists(ampsim::owner_file_path(users_link)));
    EXPECT_EQ(unreaped.wait_for_exit(5s), -SIGKILL);
}

TEST(AmpsimProgram, FaultsAtStartAndVariants)
{
    ChildProcess ampsim(ampsim_path(), {"--traffic", "0", "--no-usb", "--variant", "no-comdata32",
                                        "--fault", "refuse-enq:2"});
    ASSERT_TRUE(ampsim.wait_for_line("serial fault armed", 5s));
    const auto& api = testsupport::tarnlink();
    ASSERT_EQ(api.dfComSetReady(9600, 1), 0);
    std::array<std::uint8_t, 1024> response{};
    EXPECT_EQ(api.communicate(0xDF, nullptr, 0, response.data()), 1) << "both ENQs refused";
    EXPECT_EQ(api.communicate(0xDF, nullptr, 0, response.data()), 0);
    EXPECT_EQ(response[0], 0) << "this amplifier lacks MOT_READ_COM_DATA_32";
    api.dfComSetClose();
    EXPECT_FALSE(std::filesystem::exists(halvex::socket_path()));
    ampsim.signal(SIGINT);
    EXPECT_EQ(ampsim.wait_for_exit(5s), 0);
}

// A COMn entry that is the user's stays the user's; a link left by a killed
// simulator (to a pty that is gone, whose number the new one may have got)
// is taken over and cleaned up.
TEST(AmpsimProgram, RefusesAPortThatIsTakenAndReplacesAStaleLinkOfItsOwn)
{
    namespace fs = std::filesystem;
    const fs::path link = tarnlink::port_link_path(3);
    fs::create_directories(link.parent_path());
    fs::create_symlink("/dev/null", link);
    ChildProcess refused(ampsim_path(), {"--port", "3", "--no-usb"});
    const auto why = refused.wait_for_line("is taken", 5s);
    ASSERT_TRUE(why);
    EXPECT_NE(why->find(link.string()), std::string::npos) << *why;
    EXPECT_NE(why->find("/dev/null"), std::string::npos) << *why;
    EXPECT_EQ(refused.wait_for_exit(5s), 1);
    EXPECT_EQ(fs::read_symlink(link), "/dev/null");

    fs::remove(link);
    fs::create_symlink("/dev/pts/999999", link);
    ChildProcess replacing(ampsim_path(), {"--port", "3", "--no-usb"});
    ASSERT_TRUE(replacing.wait_for_line("serving COM3", 5s));
    EXPECT_EQ(fs::read_symlink(link).parent_path(), "/dev/pts");
    EXPECT_NE(fs::read_symlink(link), "/dev/pts/999999");
    replacing.signal(SIGTERM);
    EXPECT_EQ(replacing.wait_for_exit(5s), 0);
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(link)));
}

}  // namespace
