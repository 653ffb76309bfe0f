#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <system_error>

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

int milliseconds_left(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

struct Pipe {
    common::UniqueFd read_end;
    common::UniqueFd write_end;
};

Pipe make_pipe()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        fail("pipe2");
    }
    return {common::UniqueFd(ends[0]), common::UniqueFd(ends[1])};
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           Errors errors)
{
    Pipe to_child = make_pipe();
    Pipe from_child = make_pipe();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    pid_ = ::fork();
    // Without a child, throw: a destructor would signal pid -1, which is
    // every process this user may signal.
    if (pid_ < 0) {
        fail("fork");
    }
    if (pid_ == 0) {
        ::dup2(to_child.read_end.get(), STDIN_FILENO);
        ::dup2(from_child.write_end.get(), STDOUT_FILENO);
        if (errors == Errors::ToOutput) {
            ::dup2(from_child.write_end.get(), STDERR_FILENO);
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    // The child's ends close here; it has its own copies.
    input_ = std::move(to_child.write_end);
    output_ = std::move(from_child.read_end);
}

ChildProcess::~ChildProcess()
{
    if (!status_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
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
        pollfd entry{output_.get(), POLLIN, 0};
        if (::poll(&entry, 1, milliseconds_left(deadline)) <= 0) {
            return std::nullopt;
        }
        char chunk[512];
        const ssize_t got = ::read(output_.get(), chunk, sizeof chunk);
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
    [[maybe_unused]] const auto written = ::write(input_.get(), text.data(), text.size());
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
    await_end(wait);
    int raw = 0;
    if (::waitpid(pid_, &raw, WNOHANG) != pid_) {
        return std::nullopt;
    }
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
    return status_;
}

bool ChildProcess::wait_for_end_unreaped(std::chrono::milliseconds wait)
{
    if (status_) {
        return true;
    }
    await_end(wait);
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid_;
}

void ChildProcess::await_end(std::chrono::milliseconds wait) const
{
    // A pidfd becomes readable when the child ends, so there is no polling.
    if (const common::UniqueFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0)));
        pidfd.valid()) {
        pollfd entry{pidfd.get(), POLLIN, 0};
        ::poll(&entry, 1, static_cast<int>(wait.count()));
    }
}

}  // namespace testsupport
