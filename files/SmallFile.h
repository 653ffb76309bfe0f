// Reading a small file whole, for the files a user hands the program (the
// settings file, log files): only a regular file of bounded size, never a
// device or a pipe, and opening it never blocks.
#pragma once

#include <cstddef>
#include <string>

namespace quillon {

enum class SmallFileState {
    Read,
    Missing,     // no such file, or a folder on the way is not one
    NotRegular,  // a folder, a device, a pipe, a socket
    TooLarge,    // more than the largest size allowed
    Failed,      // could not be opened or read; error tells why
};

// What stands at a path that is not a regular file.
enum class NotRegularKind { Folder, NamedPipe, Socket, Device, Other };

struct SmallFileRead {
    SmallFileState state = SmallFileState::Failed;
    int error = 0;                                // errno, for Missing and Failed
    NotRegularKind kind = NotRegularKind::Other;  // for NotRegular
    bool dangling_link = false;                   // for Missing: a link to nothing
};

// Reads the file at path, of at most largest bytes, into bytes.
SmallFileRead read_small_file(const std::string& path, std::size_t largest, std::string& bytes);

}  // namespace quillon
