#include "Output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quillon::cli {

namespace {

std::optional<OutputFailure> first_failure;

bool note_failure()
{
    if (!first_failure) {
        first_failure = OutputFailure{errno != 0 ? errno : EIO};
    }
    return false;
}

}  // namespace

std::string OutputFailure::reason() const
{
    return std::strerror(error);
}

bool OutputFailure::reader_left() const
{
    return error == EPIPE;
}

bool write_output(std::string_view text, bool now)
{
    if (first_failure) {
        return false;
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        (now && std::fflush(stdout) != 0)) {
        return note_failure();
    }
    return true;
}

std::optional<OutputFailure> output_failure()
{
    return first_failure;
}

std::optional<OutputFailure> finish_output()
{
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        note_failure();
    }
    errno = 0;
    if (std::fclose(stdout) != 0) {
        note_failure();
    }
    return first_failure;
}

}  // namespace quillon::cli
