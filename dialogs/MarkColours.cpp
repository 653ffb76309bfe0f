#include "MarkColours.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>

namespace {

// A tint this far from its base (RGB distance, 0-441) is seen at a glance.
constexpr double kVisible = 48;

double distance(const QColor& one, const QColor& other)
{
    return std::hypot(one.red() - other.red(), one.green() - other.green(),
                      one.blue() - other.blue());
}

// The hue blended into base by share, more when that is too faint to see;
// shaded away from the text (darker under light text) as far as the text
// needs to read at kReadableContrast on it.
QColor tint(const QColor& base, const QColor& text, const QColor& hue, double share)
{
    while (share < 1 && distance(mixed(base, hue, share), base) < kVisible) {
        share = std::min(1.0, share + 0.02);
    }
    const QColor tinted = mixed(base, hue, share);
    if (contrast_ratio(tinted, text) >= kReadableContrast) {
        return tinted;
    }
    const QColor away = relative_luminance(text) > relative_luminance(tinted) ? QColor(Qt::black)
                                                                              : QColor(Qt::white);
    double unreadable = 0;
    double readable = 1;
    for (int step = 0; step < 16; ++step) {
        const double middle = (unreadable + readable) / 2;
        if (contrast_ratio(mixed(tinted, away, middle), text) >= kReadableContrast) {
            readable = middle;
        } else {
            unreadable = middle;
        }
    }
    return mixed(tinted, away, readable);
}

// The palette's disabled text if it reads on the base, or as close to it as
// reads; half way to the base when the palette does not dim.
QColor dimmed(const QColor& text, const QColor& disabled, const QColor& base)
{
    const QColor dim = disabled == text ? mixed(text, base, 0.5) : disabled;
    double share = 0;
    while (share < 1 && contrast_ratio(mixed(dim, text, share), base) < kReadableContrast) {
        share += 0.02;
    }
    return mixed(dim, text, std::min(share, 1.0));
}

MarkColours made(const QPalette& palette)
{
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    const QColor button = palette.color(QPalette::Button);
    const QColor button_text = palette.color(QPalette::ButtonText);
    // The hues and shares give the light palette's look: pale yellow, amber,
    // pink, orange, light blue and light green.
    return {
        tint(base, text, QColor(240, 220, 0), 1.0 / 3),
        tint(base, text, QColor(255, 130, 0), 0.65),
        tint(base, text, QColor(255, 40, 90), 0.45),
        tint(base, text, QColor(230, 90, 40), 1),
        tint(button, button_text, QColor(0, 100, 255), 0.2),
        tint(button, button_text, QColor(0, 180, 0), 0.18),
        dimmed(text, palette.color(QPalette::Disabled, QPalette::Text), base),
    };
}

}  // namespace

MarkColours mark_colours(const QPalette& palette)
{
    // Asked for every cell painted: made again only for other colours.
    struct Made {
        std::tuple<QRgb, QRgb, QRgb, QRgb, QRgb> from;
        MarkColours colours;
    };
    thread_local std::optional<Made> last;
    const auto from = std::make_tuple(
        palette.color(QPalette::Base).rgb(), palette.color(QPalette::Text).rgb(),
        palette.color(QPalette::Button).rgb(), palette.color(QPalette::ButtonText).rgb(),
        palette.color(QPalette::Disabled, QPalette::Text).rgb());
    if (!last || last->from != from) {
        last = Made{from, made(palette)};
    }
    return last->colours;
}

QColor scale_colour(const QPalette& palette, double share)
{
    const QColor base = palette.color(QPalette::Base);
    if (share <= 0) {
        return base;
    }
    return mixed(base, mark_colours(palette).most_differing,
                 1.0 / 3 + 2.0 / 3 * std::min(share, 1.0));
}

QColor mixed(const QColor& from, const QColor& to, double share)
{
    const auto channel = [share](int a, int b) { return int(std::lround(a + (b - a) * share)); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

double relative_luminance(const QColor& colour)
{
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
           0.0722 * linear(colour.blueF());
}

double contrast_ratio(const QColor& one, const QColor& other)
{
    const double a = relative_luminance(one);
    const double b = relative_luminance(other);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}
