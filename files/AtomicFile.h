// Replaces a file's content so that a failure half-way never leaves a
// truncated file: the bytes go to a temporary file in the same folder, which
// is then renamed over the target. The target is the old file or the whole
// new one, never a part. An existing file keeps its permission bits, but
// never its set-user-ID and set-group-ID bits.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The text of a file of lines, each ended by CR LF as the program's files are.
std::string crlf_text(const std::vector<std::string>& lines);

// The error of a file that cannot be written, naming it:
// "Cannot write the file PATH: REASON."
std::runtime_error write_error(const std::string& path, const std::string& reason);

// Writes to the file that path names, following symbolic links to their
// target, so that a link stays a link. An existing file keeps its permission
// bits; one that is not a regular file, or that is write-protected, is
// refused. Write-protected means no write permission for this user or no
// write bit at all in its mode: root, whom permissions do not stop, is
// refused a read-only file too. Throws write_error() when the file cannot be
// written.
void write_file_atomically(const std::string& path, std::string_view bytes);

// Replaces the file at path, as write_file_atomically does, with a file
// that fill writes by its name (for a library that opens the file itself,
// as SQLite does): fill is handed the name of a new, empty file beside it,
// which is then synced and renamed over path. When fill throws, the new
// file is removed and the exception goes on; a failure here throws
// write_error().
void replace_file_by(const std::string& path,
                     const std::function<void(const std::string& temporary)>& fill);

// Writes a new file under path, never replacing one: false when the name is
// taken (by this or any other process, however close in time), and no byte
// written. A failure part-way leaves no file under path. Throws write_error()
// when the file cannot be written.
bool create_file_exclusively(const std::string& path, std::string_view bytes);

}  // namespace quillon
