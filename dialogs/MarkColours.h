// The colours the log windows mark records and bytes with, made from the
// palette so that they read in a light and a dark one alike: each is a hue
// blended into the palette's base, strong enough to be seen, and shaded away
// from the text (darker under light text) as far as the text on it needs to
// read at 4.5:1 at least (WCAG 2).
#pragma once

#include <QColor>
#include <QPalette>

// Text on a background reads at this contrast ratio at least.
inline constexpr double kReadableContrast = 4.5;

struct MarkColours {
    // Backgrounds under QPalette::Text.
    QColor meets;           // a record that meets the stop condition
    QColor fired;           // the record that fired the trigger
    QColor difference;      // a byte that differs from the compared log
    QColor most_differing;  // the end of the scale of differing records
    // Backgrounds of the byte headers, under QPalette::ButtonText.
    QColor recv_header;
    QColor send_header;
    // The text of a record never written: dimmer than QPalette::Text, still
    // readable on QPalette::Base.
    QColor never_written;
};

MarkColours mark_colours(const QPalette& palette);

// A cell's colour on the scale of differing records: the palette's base for
// none, a third of the way to most_differing for the fewest, most_differing
// for share 1 of the most.
QColor scale_colour(const QPalette& palette, double share);

// from + (to - from) * share, channel by channel.
QColor mixed(const QColor& from, const QColor& to, double share);

// WCAG 2: relative luminance (0 black to 1 white) and the contrast ratio of
// two colours (1 to 21), either way round.
double relative_luminance(const QColor& colour);
double contrast_ratio(const QColor& one, const QColor& other);
