// The message boxes of the program's code, behind a seam: the program routes
// them to Qt message boxes, tests to a recorder. Nothing here knows Qt.
#pragma once

#include <functional>
#include <string>

namespace quillon {

enum class MessageIcon { Error, Information, Plain, Warning };

struct Message {
    std::string text;
    // Empty for a plain message dialog: it carries the application's title.
    std::string caption;
    MessageIcon icon = MessageIcon::Plain;
    // What the program knows of the cause, beside the fixed text: shown as
    // the box's details, or on the line after the text.
    std::string details{};

    bool operator==(const Message&) const = default;
};

using MessageSink = std::function<void(const Message&)>;

// Installs sink and returns the one it replaces, so that a caller can put that
// back. An empty sink restores the default, which writes to stderr.
MessageSink set_message_sink(MessageSink sink);

// Shows message through the installed sink; returns when it was dismissed.
void show_message(const Message& message);

// Shows text as an error: caption "Error!", the error icon; details, when
// given, say why.
void show_error(const std::string& text, const std::string& details = {});

}  // namespace quillon
