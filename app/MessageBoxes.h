// Routes the program's messages to Qt message boxes: no owner window,
// application-modal, with the message's caption and icon, worded in the
// user's language.
#pragma once

#include <QString>

#include <string>

namespace quillon {

void install_qt_message_boxes();

// A message's text (or caption, or cause) as a window shows it: in the
// user's language where Quillon's catalogue has it, line by line. A line
// not in the catalogue as a whole is looked up with its numbers as %1, %2
// ..., then from each ": " on, so that "FILE:LINE: reason" or "PORT:
// DEVICE: reason" keeps its names and words its reason.
QString worded_message(const std::string& text);

}  // namespace quillon
