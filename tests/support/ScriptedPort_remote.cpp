// The test ports held by the port host, the Linux program that runs this
// test program: every call is a request on standard output and its answer on
// standard input (PortRequests.h).
#include "ScriptedPort.h"

#include "PortRequests.h"

#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>

namespace testsupport {

namespace {

// Sends "VERB N [ARGUMENTS]"; the result that follows "ok". Throws on an
// error answer or when no answer comes.
std::string ask(std::string_view verb, int port_number, const std::string& arguments = {})
{
    std::string request = std::string(verb) + " " + std::to_string(port_number);
    if (!arguments.empty()) {
        request += " " + arguments;
    }
    // Whatever the test printed goes first, so that the request is a line
    // of its own.
    std::fflush(stdout);
    std::printf("%s%s\n", std::string(requests::kMarker).c_str(), request.c_str());
    std::fflush(stdout);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        throw std::runtime_error("no answer from the port host to: " + request);
    }
    if (!answer.empty() && answer.back() == '\r') {
        answer.pop_back();
    }
    if (answer == "ok") {
        return {};
    }
    if (answer.rfind("ok ", 0) == 0) {
        return answer.substr(3);
    }
    throw std::runtime_error("the port host refused \"" + request + "\": " + answer);
}

// Lets the host drop COMn; a destructor cannot report a failure.
void drop(int port_number) noexcept
{
    try {
        ask(requests::kDrop, port_number);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
    }
}

}  // namespace

struct ScriptedPort::Impl {
    int number;
};

ScriptedPort::ScriptedPort(int port_number, Bytes reply_data)
    : impl_(std::make_unique<Impl>(Impl{port_number}))
{
    ask(requests::kOpen, port_number, requests::bytes_text(reply_data));
}

ScriptedPort::~ScriptedPort()
{
    drop(impl_->number);
}

void ScriptedPort::reply_with(Bytes data, std::uint8_t header1, std::uint8_t header2)
{
    ask(requests::kReply, impl_->number,
        std::to_string(header1) + " " + std::to_string(header2) + " " + requests::bytes_text(data));
}

void ScriptedPort::answer_nothing()
{
    ask(requests::kSilent, impl_->number);
}

void ScriptedPort::set_faults(const ampsim::Faults& faults)
{
    ask(requests::kFaults, impl_->number, requests::faults_text(faults));
}

Bytes ScriptedPort::received() const
{
    return requests::bytes_from(ask(requests::kReceived, impl_->number));
}

std::vector<Bytes> ScriptedPort::commands() const
{
    return requests::blocks_from(ask(requests::kCommands, impl_->number));
}

int ScriptedPort::responses_sent() const
{
    return std::stoi(ask(requests::kResponses, impl_->number));
}

void ScriptedPort::clear_records()
{
    ask(requests::kClear, impl_->number);
}

bool ScriptedPort::leave_stale_input(const Bytes& bytes)
{
    return ask(requests::kStale, impl_->number, requests::bytes_text(bytes)) == "1";
}

LineState ScriptedPort::line() const
{
    return requests::line_from(ask(requests::kLine, impl_->number));
}

void ScriptedPort::preset_cooked_line()
{
    ask(requests::kCook, impl_->number);
}

struct HeldLine::Impl {
    int number;
};

HeldLine::HeldLine(int port_number) : impl_(std::make_unique<Impl>(Impl{port_number}))
{
    ask(requests::kHold, port_number);
}

HeldLine::~HeldLine()
{
    drop(impl_->number);
}

struct NonPortEntry::Impl {
    int number;
};

NonPortEntry::NonPortEntry(int port_number, Kind kind)
    : impl_(std::make_unique<Impl>(Impl{port_number}))
{
    ask(requests::kEntry, port_number, kind == Kind::PlainFile ? "file" : "link");
}

NonPortEntry::~NonPortEntry()
{
    drop(impl_->number);
}

}  // namespace testsupport
