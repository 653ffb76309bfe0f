// ampsim: the simulated amplifier, for the demo and for trying things by hand.
// For now it speaks the block transfer protocol on a pseudo-terminal linked
// as COMn and answers every command with an empty reply.
#include "BlockPeer.h"
#include "PtyEndpoint.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstdint>
#include <span>
#include <exception>
#include <optional>
#include <string>

namespace {

struct Options {
    int port = 1;
    unsigned rate = 0;
};

void print_usage(std::FILE* out)
{
    std::fputs(
        "Usage: ampsim [--port N] [--rate BPS]\n"
        "Plays the servo amplifier's side of the serial block protocol.\n"
        "\n"
        "  --port N     serve COMN, N = 1..16 (default 1); the port appears as a link\n"
        "               in $XDG_CONFIG_HOME/quillon/ports\n"
        "  --rate BPS   emulate a line of BPS bit/s, 10 bits a byte (default: instant)\n"
        "  --help       show this text\n"
        "\n"
        "Every command is answered with an empty reply. Ends on Ctrl-C or SIGTERM and\n"
        "removes its link.\n",
        out);
}

std::optional<long> parse_number(const char* text, long low, long high)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<Options> parse_options(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            print_usage(stdout);
            std::exit(0);
        }
        if ((arg == "--port" || arg == "--rate") && i + 1 < argc) {
            const auto value = arg == "--port" ? parse_number(argv[++i], 1, 16)
                                               : parse_number(argv[++i], 0, 4000000);
            if (!value) {
                std::fprintf(stderr, "ampsim: bad value for %s: %s\n", arg.c_str(), argv[i]);
                return std::nullopt;
            }
            if (arg == "--port") {
                options.port = static_cast<int>(*value);
            } else {
                options.rate = static_cast<unsigned>(*value);
            }
            continue;
        }
        std::fprintf(stderr, "ampsim: unknown option %s\n", arg.c_str());
        return std::nullopt;
    }
    return options;
}

std::string hex(std::span<const std::uint8_t> bytes)
{
    std::string text;
    char two[4];
    for (auto byte : bytes) {
        std::snprintf(two, sizeof two, "%02X ", byte);
        text += two;
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto options = parse_options(argc, argv);
    if (!options) {
        print_usage(stderr);
        return 2;
    }
    // Signals are taken by sigwait below, so that the links are removed on
    // the way out.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    try {
        ampsim::PtyEndpoint line(options->port);
        ampsim::BlockPeer peer(
            line,
            [](std::span<const std::uint8_t> block) {
                std::printf("command %s\n", hex(block).c_str());
                std::fflush(stdout);
                return ampsim::Reply::to(block, {});
            },
            options->rate);
        std::printf("ampsim: serving COM%d at %s (%s)\n", options->port, line.link_path().c_str(),
                    line.slave_path().c_str());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stop_signals, &signal);
        std::printf("ampsim: stopping\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ampsim: %s\n", error.what());
        return 1;
    }
    return 0;
}
