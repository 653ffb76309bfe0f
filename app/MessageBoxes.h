// Routes the program's messages to Qt message boxes: no owner window,
// application-modal, with the message's caption and icon.
#pragma once

namespace quillon {

void install_qt_message_boxes();

}  // namespace quillon
