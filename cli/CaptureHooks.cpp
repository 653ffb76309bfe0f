#include "CaptureHooks.h"

#include "Interruption.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
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

// posix_spawn's settings for a hook: its output on standard error, signals
// that this program ignores (SIGPIPE) back to their default.
class SpawnSettings {
public:
    SpawnSettings()
    {
        ::posix_spawn_file_actions_init(&actions_);
        ::posix_spawn_file_actions_adddup2(&actions_, STDERR_FILENO, STDOUT_FILENO);
        ::posix_spawnattr_init(&attributes_);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) {
            sigaddset(&defaults, signal);
        }
        ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
        ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF);
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

}  // namespace

CaptureHooks::CaptureHooks(std::optional<std::string> command) : command_(std::move(command)) {}

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
    if (pid_ > 0) {
        int status = 0;
        const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
        if (ended == 0 || (ended < 0 && errno == EINTR)) {
            return;  // still running
        }
        if (ended == pid_) {
            report_end(status);
        }
        pid_ = -1;
        running_.reset();
    }
    start_next();
}

void CaptureHooks::finish()
{
    constexpr timespec kTenthOfASecond{0, 100'000'000};
    for (poll(); (pid_ > 0 || !waiting_.empty()) && !interrupted(); poll()) {
        ::nanosleep(&kTenthOfASecond, nullptr);
    }
}

void CaptureHooks::start_next()
{
    while (pid_ <= 0 && !waiting_.empty() && !interrupted()) {
        running_ = std::move(waiting_.front());
        waiting_.pop_front();
        const std::vector<std::string> environment = hook_environment(*running_);
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
        const int failed = ::posix_spawn(&pid_, shell.c_str(), settings.actions(),
                                         settings.attributes(), argv, envp.data());
        if (failed != 0) {
            std::fprintf(stderr, "quillon-cli: --on-capture for %s: cannot run %s: %s\n",
                         running_->file.c_str(), shell.c_str(), std::strerror(failed));
            pid_ = -1;
            running_.reset();
        }
    }
}

void CaptureHooks::report_end(int wait_status) const
{
    if (WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0) {
        return;
    }
    if (WIFEXITED(wait_status)) {
        std::fprintf(stderr, "quillon-cli: --on-capture for %s ended with status %d\n",
                     running_->file.c_str(), WEXITSTATUS(wait_status));
    } else if (WIFSIGNALED(wait_status)) {
        std::fprintf(stderr, "quillon-cli: --on-capture for %s was ended by signal %d (%s)\n",
                     running_->file.c_str(), WTERMSIG(wait_status),
                     ::strsignal(WTERMSIG(wait_status)));
    }
}

}  // namespace quillon::cli
