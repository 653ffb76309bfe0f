// Replaces a file's content so that a failure half-way never leaves a
// truncated file: the bytes go to a temporary file in the same folder, which
// is then renamed over the target. The target is the old file or the whole
// new one, never a part.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The text of a file of lines, each ended by CR LF as the program's files are.
std::string crlf_text(const std::vector<std::string>& lines);

// Throws std::runtime_error naming the file when it cannot be written.
void write_file_atomically(const std::string& path, std::string_view bytes);

}  // namespace quillon
