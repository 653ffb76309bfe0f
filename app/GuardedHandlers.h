// How every window connects its controls to its handlers: the handler runs
// guarded, so that an error escaping it goes to the default error display
// and the program carries on.
#pragma once

#include "Seams.h"

#include <QAbstractButton>
#include <QObject>

namespace quillon {

// Runs (receiver->*handler)() whenever sender emits signal (its arguments
// are not used).
template <typename Sender, typename Signal, typename Receiver>
void on_signal(Sender* sender, Signal signal, Receiver* receiver, void (Receiver::*handler)())
{
    QObject::connect(sender, signal, receiver, [receiver, handler] {
        run_guarded([receiver, handler] { (receiver->*handler)(); });
    });
}

// Runs the handler each time the button becomes checked, however that comes
// about: a click, the keyboard, or a screen reader's "Toggle", which clicks
// nothing.
template <typename Receiver>
void on_checked(QAbstractButton* button, Receiver* receiver, void (Receiver::*handler)())
{
    QObject::connect(button, &QAbstractButton::toggled, receiver,
                     [receiver, handler](bool checked) {
                         if (checked) {
                             run_guarded([receiver, handler] { (receiver->*handler)(); });
                         }
                     });
}

}  // namespace quillon
