#include "Messages.h"
#include "Wording.h"

#include <cstdio>
#include <utility>

namespace quillon {

namespace {

// Until the program wires its message boxes, messages are at least not lost.
void write_to_stderr(const Message& message)
{
    std::fprintf(stderr, "%s: %s\n", message.caption.empty() ? "Quillon" : message.caption.c_str(),
                 message.text.c_str());
}

MessageSink& sink_slot()
{
    static MessageSink sink = write_to_stderr;
    return sink;
}

}  // namespace

MessageSink set_message_sink(MessageSink sink)
{
    if (!sink) {
        sink = write_to_stderr;
    }
    return std::exchange(sink_slot(), std::move(sink));
}

void show_error(const std::string& text, const std::string& details)
{
    show_message({text, QUILLON_TEXT("Message", "Error!"), MessageIcon::Error, details});
}

void show_message(const Message& message)
{
    // A copy, so that a sink may replace itself while it runs.
    const MessageSink sink = sink_slot();
    sink(message);
}

}  // namespace quillon
