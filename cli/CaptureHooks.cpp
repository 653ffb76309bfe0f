#include "CaptureHooks.h"

#include "Interruption.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <iterator>
#include <utility>
#include <vector>

extern char** environ;

namespace quillon::cli {

namespace {

// The environment of this program with the capture's variables in place of
// any of the same names.
std::vector<std::string> hook_environment(const CaptureFacts& capture)
{
    const std::pair<const char*, std::string> own[] = {
        {"QUILLON_FILE", capture.file},
        {"QUILLON_INDEX", std::to_string(capture.index)},
        {"QUILLON_FIRED_RECORD",
         capture.fired_record ? std::to_string(*capture.fired_record) : std::string()},
        {"QUILLON_STOP_CONDITION", capture.stop_condition},
    };
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        const bool replaced =
            std::any_of(std::begin(own), std::end(own), [variable](const auto& set) {
                return variable.starts_with(std::string(set.first) + '=');
            });
        if (!replaced) {
            variables.emplace_back(variable);
        }
    }
    for (const auto& [name, value] : own) {
        variables.push_back(std::string(name) + "=" + value);
    }
    return variables;
}

// posix_spawn's settings for a hook: a process group of its own (so that
// it can be ended whole), standard input /dev/null (a group in the
// background that reads the terminal would be stopped), its output on
// standard error, signals that this program ignores or catches back to
// their default.
class SpawnSettings {
public:
    SpawnSettings()
    {
        ::posix_spawn_file_actions_init(&actions_);
        ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        ::posix_spawn_file_actions_adddup2(&actions_, STDERR_FILENO, STDOUT_FILENO);
        ::posix_spawnattr_init(&attributes_);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) {
            sigaddset(&defaults, signal);
        }
        ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
        ::posix_spawnattr_setpgroup(&attributes_, 0);
        ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    }
    ~SpawnSettings()
    {
        ::posix_spawn_file_actions_destroy(&actions_);
        ::posix_spawnattr_destroy(&attributes_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_{};
    posix_spawnattr_t attributes_{};
};

// How long a hook that was sent SIGTERM has before SIGKILL.
constexpr std::chrono::seconds kTermGrace{5};
// A hook's bound once the series has ended, when --hook-timeout gives none.
constexpr std::chrono::seconds kFinishingLimit{60};

void report_end(const CaptureFacts& capture, int wait_status)
{
    if (WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0) {
        return;
    }
    if (WIFEXITED(wait_status)) {
        std::fprintf(stderr, "quillon-cli: --on-capture for %s ended with status %d\n",
                     capture.file.c_str(), WEXITSTATUS(wait_status));
    } else if (WIFSIGNALED(wait_status)) {
        std::fprintf(stderr, "quillon-cli: --on-capture for %s was ended by signal %d (%s)\n",
                     capture.file.c_str(), WTERMSIG(wait_status),
                     ::strsignal(WTERMSIG(wait_status)));
    }
}

// Waits for pid's end and reaps it; its wait status.
int reap(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

}  // namespace

CaptureHooks::CaptureHooks(std::optional<std::string> command,
                           std::optional<std::chrono::seconds> time_limit)
    : command_(std::move(command)), time_limit_(time_limit)
{
}

CaptureHooks::~CaptureHooks()
{
    if (running_) {
        ::kill(-running_->group, SIGKILL);
        // Before the reap frees the group's number for another.
        kill_group_on_forced_exit(0);
        reap(running_->group);
    }
}

void CaptureHooks::add(CaptureFacts capture)
{
    if (!command_) {
        return;
    }
    waiting_.push_back(std::move(capture));
    poll();
}

void CaptureHooks::poll()
{
    if (running_) {
        const auto now = Clock::now();
        if (reaped_running()) {
            running_.reset();
        } else if (!running_->terminated && interrupted()) {
            end_running("was ended: the series was interrupted");
        } else if (!running_->terminated && now >= running_->limit) {
            end_running(running_->limit == last_
                            ? std::string("was still running when --timeout ran out and was ended")
                            : "took longer than " +
                                  std::to_string(time_limit_.value_or(kFinishingLimit).count()) +
                                  " s and was ended");
        } else if (running_->terminated && !running_->killed &&
                   now >= *running_->terminated + kTermGrace) {
            ::kill(-running_->group, SIGKILL);
            running_->killed = true;
        }
    }
    start_next();
}

void CaptureHooks::finish(Clock::time_point last)
{
    finishing_limit_ = time_limit_.value_or(kFinishingLimit);
    last_ = last;
    if (running_ && !running_->terminated) {
        running_->limit = std::min(running_->limit, limit_from(Clock::now()));
    }
    constexpr timespec kTenthOfASecond{0, 100'000'000};
    for (poll(); running_ || (!waiting_.empty() && !stopping()); poll()) {
        ::nanosleep(&kTenthOfASecond, nullptr);
    }
    const char* why = interrupted() ? "the series was interrupted" : "--timeout has run out";
    for (const CaptureFacts& capture : waiting_) {
        std::fprintf(stderr, "quillon-cli: --on-capture for %s does not run: %s\n",
                     capture.file.c_str(), why);
    }
    waiting_.clear();
}

void CaptureHooks::start_next()
{
    while (!running_ && !waiting_.empty() && !stopping()) {
        CaptureFacts capture = std::move(waiting_.front());
        waiting_.pop_front();
        const std::vector<std::string> environment = hook_environment(capture);
        std::vector<char*> envp;
        envp.reserve(environment.size() + 1);
        for (const std::string& variable : environment) {
            envp.push_back(const_cast<char*>(variable.c_str()));
        }
        envp.push_back(nullptr);
        std::string shell = "/bin/sh";
        std::string dash_c = "-c";
        std::string command = *command_;
        char* argv[] = {shell.data(), dash_c.data(), command.data(), nullptr};
        const SpawnSettings settings;
        pid_t pid = -1;
        const int failed = ::posix_spawn(&pid, shell.c_str(), settings.actions(),
                                         settings.attributes(), argv, envp.data());
        if (failed != 0) {
            std::fprintf(stderr, "quillon-cli: --on-capture for %s: cannot run %s: %s\n",
                         capture.file.c_str(), shell.c_str(), std::strerror(failed));
            continue;
        }
        kill_group_on_forced_exit(pid);
        running_ =
            RunningHook{std::move(capture), pid, limit_from(Clock::now()), std::nullopt, false};
    }
}

void CaptureHooks::end_running(const std::string& why)
{
    std::fprintf(stderr, "quillon-cli: --on-capture for %s %s\n", running_->capture.file.c_str(),
                 why.c_str());
    // A stopped member would hold SIGTERM until it runs again.
    ::kill(-running_->group, SIGTERM);
    ::kill(-running_->group, SIGCONT);
    running_->terminated = Clock::now();
}

bool CaptureHooks::reaped_running()
{
    const pid_t pid = running_->group;
    // Whether the leader has ended, left unreaped: its group's number stays
    // taken until the forced exit no longer signals it.
    siginfo_t info{};
    const int looked = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if ((looked == 0 && info.si_pid == 0) || (looked != 0 && errno == EINTR)) {
        return false;
    }
    if (!running_->terminated) {
        kill_group_on_forced_exit(0);
        const int status = reap(pid);
        if (looked == 0) {
            report_end(running_->capture, status);
        }
        return true;
    }
    // Ended by this program: once its leader has gone, what is left of the
    // group is killed, then the leader reaped. Its end was said.
    ::kill(-pid, SIGKILL);
    kill_group_on_forced_exit(0);
    reap(pid);
    return true;
}

CaptureHooks::Clock::time_point CaptureHooks::limit_from(Clock::time_point start) const
{
    if (finishing_limit_) {
        return std::min(start + *finishing_limit_, last_);
    }
    return time_limit_ ? start + *time_limit_ : Clock::time_point::max();
}

bool CaptureHooks::stopping() const
{
    return interrupted() || (finishing_limit_ && Clock::now() >= last_);
}

}  // namespace quillon::cli
