#include "PortLinks.h"

#include "PortPath.h"

#include <signal.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

namespace ampsim {

namespace fs = std::filesystem;

namespace {

struct Owner {
    long pid = 0;
    std::string target;
};

std::optional<Owner> read_owner(const std::string& link)
{
    std::ifstream in(owner_file_path(link));
    Owner owner;
    if (!(in >> owner.pid >> owner.target) || owner.pid <= 0) {
        return std::nullopt;
    }
    return owner;
}

// False when the file cannot be written; errno says why.
bool write_owner(const std::string& link, const std::string& target)
{
    std::FILE* out = std::fopen(owner_file_path(link).c_str(), "w");
    if (out == nullptr) {
        return false;
    }
    const bool written =
        std::fprintf(out, "%ld\n%s\n", static_cast<long>(::getpid()), target.c_str()) > 0;
    return std::fclose(out) == 0 && written;
}

// Linux: whether process pid has ended but is not yet reaped by its parent
// (a zombie, 'Z', or on its way out, 'X'). Such a process still answers
// kill(pid, 0) but holds no descriptor any more. The state follows the last
// ')' in /proc/PID/stat, as the process name may hold one.
bool has_ended_unreaped(long pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const auto name_end = stat.rfind(')');
    if (name_end == std::string::npos || name_end + 2 >= stat.size()) {
        return false;
    }
    const char state = stat[name_end + 2];
    return state == 'Z' || state == 'X';
}

// Whether process pid runs (another user's counts too).
bool process_runs(long pid)
{
    const bool exists = ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    return exists && !has_ended_unreaped(pid);
}

bool points_to(const std::string& link, const std::string& target)
{
    std::error_code error;
    return fs::read_symlink(link, error) == fs::path(target);
}

// Removes owner's link, if it is still where the owner made it point, and
// the owner file.
void remove_link_of(const Owner& owner, const std::string& link)
{
    std::error_code ignored;
    if (points_to(link, owner.target)) {
        fs::remove(link, ignored);
    }
    fs::remove(owner_file_path(link), ignored);
}

// Whether link points to a pseudo-terminal that reaches nothing any more, so
// that a simulator may take the port over whoever made it. A pseudo-terminal
// leaves /dev/pts as soon as its master side closes, even while a program
// still holds the slave open; its number may then come to this simulator's
// own pseudo-terminal, target.
bool is_stale_pty_link(const std::string& link, const std::string& target)
{
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(link, error))) {
        return false;
    }
    const fs::path pts = fs::read_symlink(link, error);
    if (error || pts.parent_path() != "/dev/pts") {
        return false;
    }
    return pts == target || (!fs::exists(pts, error) && !error);
}

}  // namespace

std::string owner_file_path(const std::string& link)
{
    const fs::path path(link);
    return (path.parent_path() / ("." + path.filename().string() + ".owner")).string();
}

void remove_links_of_ended_simulators()
{
    for (int number = 1; number <= tarnlink::kHighestPort; ++number) {
        const std::string link = tarnlink::port_link_path(number);
        const auto owner = read_owner(link);
        if (owner && !process_runs(owner->pid)) {
            remove_link_of(*owner, link);
        }
    }
}

void publish_link(const std::string& target, const std::string& link)
{
    std::error_code error;
    fs::create_directories(fs::path(link).parent_path(), error);
    if (is_stale_pty_link(link, target)) {
        fs::remove(link, error);
    }
    fs::create_symlink(target, link, error);
    if (error == std::errc::file_exists) {
        std::error_code unread;
        const fs::path points_to = fs::read_symlink(link, unread);
        throw std::runtime_error(
            link + " is taken" +
            (unread ? std::string(" (not a link)") : " (it points to " + points_to.string() + ")") +
            "; remove it or choose another --port");
    }
    if (error) {
        throw std::system_error(error, "link " + link);
    }
    if (!write_owner(link, target)) {
        const int why = errno;
        fs::remove(link, error);
        throw std::system_error(why, std::generic_category(), owner_file_path(link));
    }
}

void withdraw_link(const std::string& target, const std::string& link)
{
    const auto owner = read_owner(link);
    if (owner && owner->pid == ::getpid() && owner->target == target) {
        remove_link_of(*owner, link);
    }
}

}  // namespace ampsim
