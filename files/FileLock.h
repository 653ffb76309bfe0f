// An exclusive lock held on an existing file for as long as the object
// lives: another program taking it waits. The system lets go of it when
// the process ends, however it ends.
#pragma once

#include "UniqueFd.h"

#include <optional>
#include <string>

namespace quillon {

class FileLock {
public:
    // Waits for the lock on the regular file at path; nothing when the file
    // cannot be opened or is no regular file, with the reason in why.
    static std::optional<FileLock> take(const std::string& path, std::string& why);

private:
    explicit FileLock(common::UniqueFd fd) : fd_(std::move(fd)) {}
    common::UniqueFd fd_;
};

}  // namespace quillon
