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

// Whether process pid runs (another user's counts too).
bool process_runs(long pid)
{
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
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

// A link to a pseudo-terminal that is gone reaches nothing: whoever made it,
// a simulator may take the port over.
bool is_link_to_gone_pty(const std::string& link)
{
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(link, error))) {
        return false;
    }
    const fs::path target = fs::read_symlink(link, error);
    return !error && target.parent_path() == "/dev/pts" && !fs::exists(target, error) && !error;
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
    if (is_link_to_gone_pty(link)) {
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
