#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

int milliseconds_left(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           Errors errors)
{
    int to_child[2];
    int from_child[2];
    if (::pipe2(to_child, O_CLOEXEC) != 0 || ::pipe2(from_child, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(to_child[0], STDIN_FILENO);
        ::dup2(from_child[1], STDOUT_FILENO);
        if (errors == Errors::ToOutput) {
            ::dup2(from_child[1], STDERR_FILENO);
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(to_child[0]);
    ::close(from_child[1]);
    input_ = to_child[1];
    output_ = from_child[0];
}

ChildProcess::~ChildProcess()
{
    if (!status_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ::close(input_);
    ::close(output_);
}

std::optional<std::string> ChildProcess::read_line(std::chrono::milliseconds wait)
{
    const auto deadline = Clock::now() + wait;
    for (;;) {
        if (const auto end = pending_.find('\n'); end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        pollfd entry{output_, POLLIN, 0};
        if (::poll(&entry, 1, milliseconds_left(deadline)) <= 0) {
            return std::nullopt;
        }
        char chunk[512];
        const ssize_t got = ::read(output_, chunk, sizeof chunk);
        if (got <= 0) {
            return std::nullopt;
        }
        pending_.append(chunk, static_cast<std::size_t>(got));
    }
}

std::optional<std::string> ChildProcess::wait_for_line(const std::string& text,
                                                       std::chrono::milliseconds wait)
{
    const auto deadline = Clock::now() + wait;
    while (Clock::now() < deadline) {
        const auto line = read_line(std::chrono::milliseconds(milliseconds_left(deadline)));
        if (!line) {
            return std::nullopt;
        }
        if (line->find(text) != std::string::npos) {
            return line;
        }
    }
    return std::nullopt;
}

void ChildProcess::write_line(const std::string& line)
{
    const std::string text = line + "\n";
    [[maybe_unused]] const auto written = ::write(input_, text.data(), text.size());
}

void ChildProcess::signal(int number)
{
    if (!status_) {
        ::kill(pid_, number);
    }
}

std::optional<int> ChildProcess::wait_for_exit(std::chrono::milliseconds wait)
{
    if (status_) {
        return status_;
    }
    // A pidfd becomes readable when the child ends, so there is no polling.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd >= 0) {
        pollfd entry{pidfd, POLLIN, 0};
        ::poll(&entry, 1, static_cast<int>(wait.count()));
        ::close(pidfd);
    }
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) != pid_) {
        return std::nullopt;
    }
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
    return status_;
}

}  // namespace testsupport
