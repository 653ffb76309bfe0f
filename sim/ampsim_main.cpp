// ampsim: the simulated amplifier, for the demo, for end-to-end tests and for
// trying things by hand. One amplifier model, reachable over a pseudo-terminal
// linked as COMn and over the socket that libhalvex.so connects to.
#include "AmplifierModel.h"
#include "BlockPeer.h"
#include "ControlCommands.h"
#include "PtyEndpoint.h"
#include "UsbEndpoint.h"
#include "Version.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace {

struct Options {
    enum class Action { Serve, Help, Version };
    Action action = Action::Serve;
    int port = 1;
    bool serial = true;
    bool usb = true;
    unsigned line_rate = 0;
    bool verbose = false;
    ampsim::ModelOptions model;
    std::vector<std::string> faults;  // control commands to apply at start
    std::string alarm_cause;          // as given, for messages
};

void print_usage(std::FILE* out)
{
    std::fputs(
        "Usage: ampsim [OPTION]...\n"
        "Plays a servo amplifier for Quillon: over a pseudo-terminal published as\n"
        "COMn in $XDG_CONFIG_HOME/quillon/ports, and over the USB driver's socket\n"
        "($XDG_RUNTIME_DIR/quillon-halvex.sock, else /tmp/quillon-halvex-UID.sock).\n"
        "Ends on Ctrl-C, SIGTERM or SIGHUP and removes its link and socket.\n"
        "\n"
        "  --port N            serve COMN, N = 1..16 (default 1)\n"
        "  --no-serial         no serial port\n"
        "  --no-usb            no USB socket\n"
        "  --seed S            seed of the synthetic host traffic (default 1)\n"
        "  --traffic RATE      host exchanges a second that the amplifier logs\n"
        "                      (default 50; 0 = none unless advanced by hand)\n"
        "  --host H            what the synthetic host sends (default random):\n"
        "                      random  random commands of random lengths, random answers\n"
        "                      cyclic  a controller's polling cycle of six commands to\n"
        "                              address 01, each with a sequence counter (the\n"
        "                              cycle number) as its first data byte;\n"
        "                              command bytes in hex:\n"
        "                              40 status read: status byte (1 ready, 2 moving,\n"
        "                                 4 in position)\n"
        "                              41 position read: int32 LE, 0.01 mm, moving\n"
        "                                 back and forth over 0-50 mm\n"
        "                              42 speed read: int16 LE, rpm\n"
        "                              43 setpoint write: int32 LE target, 0.01 mm\n"
        "                              44 alarm read: alarm code, 0 = none\n"
        "                              45 I/O read: inputs (1 enable, 2 home, 4 end),\n"
        "                                 outputs (1 ready, 2 brake released,\n"
        "                                 4 in position)\n"
        "  --alarm-every N     with --host cyclic: the alarm read answers a code 1-5\n"
        "                      once about every N exchanges (jittered from the seed),\n"
        "                      its response's first header byte with bit 80 set\n"
        "                      (default 0: never)\n"
        "  --alarm-mean N      with --host cyclic, instead of --alarm-every: each alarm\n"
        "                      read answers an alarm with the chance that gives a mean\n"
        "                      interval of N exchanges (N >= 6), drawn afresh from the\n"
        "                      seed, so that alarms fall at any point of the move\n"
        "  --alarm-cause C     an alarm that --alarm-every or --alarm-mean makes due\n"
        "                      waits for a cycle in which C held, as the records\n"
        "                      before the alarm read carry it: position-above=MM,\n"
        "                      position-below=MM (position read), speed-above=RPM,\n"
        "                      speed-below=RPM (speed read), setpoint=MM (setpoint\n"
        "                      write), status=moving|stopped|in-position (status\n"
        "                      read) or input=enable|home|end (the I/O read of the\n"
        "                      cycle before); MM in mm with up to two decimals, RPM\n"
        "                      a whole number, negative on the way back\n"
        "  --alarm-lag K       the cause holds K cycles before the alarm's cycle\n"
        "                      (0-40, default 0)\n"
        "  --alarm-noise P     this share of alarms (0-1) come without regard to the\n"
        "                      cause (default 0)\n"
        "  --send-offset L     trigger byte index where sent bytes start (default 16)\n"
        "  --line-rate BPS     emulate a serial line of BPS bit/s (default: instant)\n"
        "  --variant V         an amplifier lacking a function: no-log, no-comdata\n"
        "                      (MOT_READ_COM_DATA), no-comdata32 (MOT_READ_COM_DATA_32)\n"
        "  --cancel-after N    a waveform/FFT event cancels logging after N records\n"
        "  --fault F[:N]       a fault at start, as the control command F N (below)\n"
        "  --verbose           print every command received\n"
        "  --help              show this text\n"
        "  --version           show the version\n"
        "\n"
        "Control commands, one a line on standard input, for faults on demand:\n",
        out);
    std::fputs(ampsim::control_help(), out);
}

std::optional<long> parse_number(const std::string& text, long low, long high)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parse_share(const std::string& text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
        !(value >= 0 && value <= 1)) {
        return std::nullopt;
    }
    return value;
}

// The alarm options that only make sense together; says what is missing.
bool alarm_options_agree(const Options& options)
{
    const ampsim::ModelOptions& model = options.model;
    const bool cause = model.alarm_cause.kind != ampsim::AlarmCause::Kind::Any;
    const char* problem = nullptr;
    if (model.alarm_every != 0 && model.alarm_mean != 0) {
        problem = "--alarm-every and --alarm-mean cannot be given together";
    } else if (model.alarm_cause.lag_cycles != 0 && !cause) {
        problem = "--alarm-lag needs --alarm-cause";
    } else if (model.alarm_cause.noise != 0 && !cause) {
        problem = "--alarm-noise needs --alarm-cause";
    } else if (cause && model.alarm_every == 0 && model.alarm_mean == 0) {
        problem = "--alarm-cause needs --alarm-every or --alarm-mean";
    } else if (model.host != ampsim::ModelOptions::Host::Cyclic && model.alarm_mean != 0) {
        problem = "--alarm-mean needs --host cyclic";
    } else if (model.host != ampsim::ModelOptions::Host::Cyclic && cause) {
        problem = "--alarm-cause needs --host cyclic";
    }
    if (problem != nullptr) {
        std::fprintf(stderr, "ampsim: %s\n", problem);
        return false;
    }
    if (!ampsim::cause_can_hold(model.alarm_cause)) {
        std::fprintf(stderr, "ampsim: --alarm-cause %s never holds in the cyclic host's move\n",
                     options.alarm_cause.c_str());
        return false;
    }
    return true;
}

// Reads the command line; on a usage error, says what was wrong in one line
// and gives nothing.
std::optional<Options> parse_options(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto text = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "ampsim: %s needs a value\n", arg.c_str());
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        const auto value = [&](long low, long high) -> std::optional<long> {
            const auto given = text();
            if (!given) {
                return std::nullopt;
            }
            const auto number = parse_number(*given, low, high);
            if (!number) {
                std::fprintf(stderr, "ampsim: bad value for %s: %s\n", arg.c_str(), given->c_str());
            }
            return number;
        };
        if (arg == "--help" || arg == "-h") {
            options.action = Options::Action::Help;
            return options;
        } else if (arg == "--version") {
            options.action = Options::Action::Version;
            return options;
        } else if (arg == "--no-serial") {
            options.serial = false;
        } else if (arg == "--no-usb") {
            options.usb = false;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--port") {
            const auto n = value(1, 16);
            if (!n)
                return std::nullopt;
            options.port = static_cast<int>(*n);
        } else if (arg == "--seed") {
            const auto n = value(0, 0x7FFFFFFF);
            if (!n)
                return std::nullopt;
            options.model.seed = static_cast<std::uint64_t>(*n);
        } else if (arg == "--traffic") {
            const auto n = value(0, 100000);
            if (!n)
                return std::nullopt;
            options.model.traffic_rate = static_cast<double>(*n);
        } else if (arg == "--host") {
            const auto host = text();
            if (!host)
                return std::nullopt;
            if (*host == "random") {
                options.model.host = ampsim::ModelOptions::Host::Random;
            } else if (*host == "cyclic") {
                options.model.host = ampsim::ModelOptions::Host::Cyclic;
            } else {
                std::fprintf(stderr, "ampsim: unknown host %s\n", host->c_str());
                return std::nullopt;
            }
        } else if (arg == "--alarm-every") {
            const auto n = value(0, 1000000);
            if (!n)
                return std::nullopt;
            options.model.alarm_every = static_cast<unsigned>(*n);
        } else if (arg == "--alarm-mean") {
            const auto n = value(static_cast<long>(ampsim::cyclic::kCycle.size()), 1000000);
            if (!n)
                return std::nullopt;
            options.model.alarm_mean = static_cast<unsigned>(*n);
        } else if (arg == "--alarm-cause") {
            const auto given = text();
            if (!given)
                return std::nullopt;
            const auto read = ampsim::read_alarm_cause(*given);
            if (!read.cause) {
                std::fprintf(stderr, "ampsim: bad value for --alarm-cause: %s (%s)\n",
                             given->c_str(), read.problem.c_str());
                return std::nullopt;
            }
            auto& cause = options.model.alarm_cause;  // keeps a lag or noise given before
            cause.kind = read.cause->kind;
            cause.value = read.cause->value;
            cause.bit_set = read.cause->bit_set;
            options.alarm_cause = *given;
        } else if (arg == "--alarm-lag") {
            const auto n = value(0, ampsim::cyclic::kLongestAlarmLag);
            if (!n)
                return std::nullopt;
            options.model.alarm_cause.lag_cycles = static_cast<unsigned>(*n);
        } else if (arg == "--alarm-noise") {
            const auto given = text();
            if (!given)
                return std::nullopt;
            const auto share = parse_share(*given);
            if (!share) {
                std::fprintf(stderr, "ampsim: bad value for --alarm-noise: %s\n", given->c_str());
                return std::nullopt;
            }
            options.model.alarm_cause.noise = *share;
        } else if (arg == "--send-offset") {
            const auto n = value(0, 255);
            if (!n)
                return std::nullopt;
            options.model.send_offset = static_cast<unsigned>(*n);
        } else if (arg == "--line-rate") {
            const auto n = value(0, 4000000);
            if (!n)
                return std::nullopt;
            options.line_rate = static_cast<unsigned>(*n);
        } else if (arg == "--cancel-after") {
            const auto n = value(0, 1000000);
            if (!n)
                return std::nullopt;
            options.model.cancel_after_records = static_cast<unsigned>(*n);
        } else if (arg == "--variant") {
            const auto variant = text();
            if (!variant)
                return std::nullopt;
            if (*variant == "no-log") {
                options.model.has_log = false;
            } else if (*variant == "no-comdata") {
                options.model.has_com_data = false;
            } else if (*variant == "no-comdata32") {
                options.model.has_com_data_32 = false;
            } else {
                std::fprintf(stderr, "ampsim: unknown variant %s\n", variant->c_str());
                return std::nullopt;
            }
        } else if (arg == "--fault") {
            const auto given = text();
            if (!given)
                return std::nullopt;
            std::string fault = *given;
            if (const auto colon = fault.find(':'); colon != std::string::npos) {
                fault[colon] = ' ';
            }
            if (!ampsim::parse_control_command(fault)) {
                std::fprintf(stderr, "ampsim: unknown fault %s\n", given->c_str());
                return std::nullopt;
            }
            options.faults.push_back(fault);
        } else {
            std::fprintf(stderr, "ampsim: unknown option %s\n", arg.c_str());
            return std::nullopt;
        }
    }
    if (!alarm_options_agree(options)) {
        return std::nullopt;
    }
    return options;
}

std::string hex(std::span<const std::uint8_t> bytes)
{
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (auto byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
        text += ' ';
    }
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto options = parse_options(argc, argv);
    if (!options) {
        std::fputs("Try 'ampsim --help'.\n", stderr);
        return 1;
    }
    if (options->action == Options::Action::Help) {
        print_usage(stdout);
        return 0;
    }
    if (options->action == Options::Action::Version) {
        std::printf("ampsim (Quillon) %s\n", quillon::kVersion);
        return 0;
    }
    // The stop signals are read from a descriptor, so that the link and the
    // socket are removed on the way out. A closed terminal (SIGHUP) stops it
    // the same way.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    // A reader of the output that goes away must not end the simulator.
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
        std::perror("ampsim: SIGPIPE");
    }
    // Line by line, so that a program reading the output sees each line as it
    // is printed.
    if (std::setvbuf(stdout, nullptr, _IOLBF, 0) != 0) {
        std::perror("ampsim: stdout");
    }
    const int signal_fd = ::signalfd(-1, &stop_signals, SFD_CLOEXEC);

    try {
        ampsim::AmplifierModel model(options->model);
        ampsim::Amplifier amplifier(
            model,
            options->verbose
                ? [](const char* side,
                     std::span<const std::uint8_t>
                         command) { std::printf("%s command %s\n", side, hex(command).c_str()); }
                : ampsim::CommandObserver{});

        std::unique_ptr<ampsim::PtyEndpoint> line;
        std::unique_ptr<ampsim::BlockPeer> peer;
        if (options->serial) {
            line = std::make_unique<ampsim::PtyEndpoint>(options->port);
            peer = std::make_unique<ampsim::BlockPeer>(*line, amplifier.serial_responder(),
                                                       options->line_rate);
            std::printf("ampsim: serving COM%d at %s (%s)\n", options->port,
                        line->link_path().c_str(), line->slave_path().c_str());
        }
        std::unique_ptr<ampsim::UsbEndpoint> usb;
        if (options->usb) {
            usb = std::make_unique<ampsim::UsbEndpoint>(amplifier.usb_handler());
            std::printf("ampsim: serving USB at %s\n", usb->path().c_str());
        }
        ampsim::ControlTarget target{model, amplifier, peer.get(), usb.get()};
        for (const auto& fault : options->faults) {
            std::printf("ampsim: %s\n", ampsim::run_control_command(target, fault).c_str());
        }

        pollfd watched[2] = {{signal_fd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        std::string pending;
        for (;;) {
            if (::poll(watched, 2, -1) < 0 && errno != EINTR) {
                break;
            }
            if (watched[0].revents != 0) {
                break;
            }
            if (watched[1].revents != 0) {
                char chunk[256];
                const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
                if (got <= 0) {
                    watched[1].fd = -1;  // no more control input; serve on
                    continue;
                }
                pending.append(chunk, static_cast<std::size_t>(got));
                for (auto end = pending.find('\n'); end != std::string::npos;
                     end = pending.find('\n')) {
                    const std::string line_text = pending.substr(0, end);
                    pending.erase(0, end + 1);
                    std::printf("ampsim: %s\n",
                                ampsim::run_control_command(target, line_text).c_str());
                }
            }
        }
        std::printf("ampsim: stopping\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ampsim: %s\n", error.what());
        return 1;
    }
    return 0;
}
