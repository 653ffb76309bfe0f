// quillon-cli's JSON output as the golden files hold it: each value it writes
// on a line of its own re-indented, one value a line, so that a failing
// comparison shows the value that differs. The text is re-indented token by
// token, never parsed into objects, so the keys keep the order written.
#pragma once

#include <string>
#include <string_view>

namespace testsupport {

// Each line of text (one JSON value, written without line breaks, with ", "
// and ": " as its separators) re-indented by two spaces a level; "{}" and
// "[]" stay whole. A text not in that one-line form gives a message naming
// the byte where it departs, then the text as it is, so it equals no golden
// file: the re-indented text still pins every byte of the output.
std::string pretty_json(std::string_view text);

}  // namespace testsupport
