// The port host: runs a test program that cannot make pseudo-terminals
// itself (the Windows tests under Wine) and holds its test ports for it, in
// this process, as a Linux test holds its own (ScriptedPort.h). The program
// asks with a line "@port-host VERB N [ARGUMENT]..." on its output and reads
// the answer on its input (PortRequests.h); the rest of its output is passed
// on, and its standard error is this program's.
//
//   port_host PROGRAM [ARGUMENT]...
//
// Exits with the program's exit code (128 + N when signal N ended it).
#include "ChildProcess.h"
#include "PortRequests.h"
#include "ScriptedPort.h"

#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

using namespace std::chrono_literals;
using testsupport::ScriptedPort;
namespace requests = testsupport::requests;

class HostedPorts {
public:
    // Carries out one request; its answer line.
    std::string answer(const std::string& request)
    {
        std::istringstream words(request);
        std::string verb;
        int number = 0;
        if (!(words >> verb >> number)) {
            return "error not a request: " + request;
        }
        std::string arguments;
        std::getline(words >> std::ws, arguments);
        try {
            const std::string result = carry_out(verb, number, arguments);
            return result.empty() ? "ok" : "ok " + result;
        } catch (const std::exception& error) {
            return std::string("error ") + error.what();
        }
    }

private:
    std::string carry_out(const std::string& verb, int number, const std::string& arguments)
    {
        if (verb == requests::kDrop) {
            scripted_.erase(number);
            held_.erase(number);
            entries_.erase(number);
            return {};
        }
        if (verb == requests::kOpen || verb == requests::kHold || verb == requests::kEntry) {
            open(verb, number, arguments);
            return {};
        }
        ScriptedPort& port = scripted(number);
        if (verb == requests::kReply) {
            std::istringstream words(arguments);
            unsigned header1 = 0;
            unsigned header2 = 0;
            std::string data;
            if (!(words >> header1 >> header2 >> data)) {
                throw std::invalid_argument("not a reply: " + arguments);
            }
            port.reply_with(requests::bytes_from(data), static_cast<std::uint8_t>(header1),
                            static_cast<std::uint8_t>(header2));
        } else if (verb == requests::kSilent) {
            port.answer_nothing();
        } else if (verb == requests::kFaults) {
            port.set_faults(requests::faults_from(arguments));
        } else if (verb == requests::kReceived) {
            return requests::bytes_text(port.received());
        } else if (verb == requests::kCommands) {
            return requests::blocks_text(port.commands());
        } else if (verb == requests::kResponses) {
            return std::to_string(port.responses_sent());
        } else if (verb == requests::kClear) {
            port.clear_records();
        } else if (verb == requests::kStale) {
            return port.leave_stale_input(requests::bytes_from(arguments)) ? "1" : "0";
        } else if (verb == requests::kLine) {
            return requests::line_text(port.line());
        } else if (verb == requests::kCook) {
            port.preset_cooked_line();
        } else {
            throw std::invalid_argument("unknown verb " + verb);
        }
        return {};
    }

    void open(const std::string& verb, int number, const std::string& arguments)
    {
        if (scripted_.count(number) + held_.count(number) + entries_.count(number) != 0) {
            throw std::invalid_argument("COM" + std::to_string(number) + " is in use");
        }
        if (verb == requests::kOpen) {
            scripted_[number] =
                std::make_unique<ScriptedPort>(number, requests::bytes_from(arguments));
        } else if (verb == requests::kHold) {
            held_[number] = std::make_unique<testsupport::HeldLine>(number);
        } else {
            using Kind = testsupport::NonPortEntry::Kind;
            entries_[number] = std::make_unique<testsupport::NonPortEntry>(
                number, arguments == "file" ? Kind::PlainFile : Kind::BrokenLink);
        }
    }

    ScriptedPort& scripted(int number)
    {
        const auto found = scripted_.find(number);
        if (found == scripted_.end()) {
            throw std::invalid_argument("no scripted port COM" + std::to_string(number));
        }
        return *found->second;
    }

    std::map<int, std::unique_ptr<ScriptedPort>> scripted_;
    std::map<int, std::unique_ptr<testsupport::HeldLine>> held_;
    std::map<int, std::unique_ptr<testsupport::NonPortEntry>> entries_;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [ARGUMENT]...\n", argv[0]);
        return 2;
    }
    // A program that ends early must not end this one with it.
    std::signal(SIGPIPE, SIG_IGN);
    testsupport::ChildProcess program(argv[1], std::vector<std::string>(argv + 2, argv + argc),
                                      testsupport::ChildProcess::Errors::Inherited);
    HostedPorts ports;
    // The program may be silent for long (a test waiting out its time-outs);
    // whoever runs this bounds the whole run.
    while (const auto read = program.read_line(24h)) {
        std::string line = *read;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind(requests::kMarker, 0) == 0) {
            program.write_line(ports.answer(line.substr(requests::kMarker.size())));
        } else {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        }
    }
    const auto status = program.wait_for_exit(10s);
    if (!status) {
        std::fprintf(stderr, "port_host: %s closed its output but did not end\n", argv[1]);
        return 1;
    }
    return *status >= 0 ? *status : 128 - *status;
}
