#include "PlotPainting.h"

#include "HexText.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace quillon {

namespace {

// How near (in pixels) a position must be to a point to find it.
constexpr double kNear = 8.0;
constexpr double kTickLength = 4.0;
constexpr double kGap = 6.0;

// A step of 1, 2 or 5 times a power of ten that cuts span into about
// target parts.
double nice_step(double span, int target)
{
    const double raw = span / target;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double normal = raw / magnitude;
    const double nice = normal <= 1.0 ? 1.0 : normal <= 2.0 ? 2.0 : normal <= 5.0 ? 5.0 : 10.0;
    return nice * magnitude;
}

// As nice_step, but in seconds a clock reads well: 1, 2, 5, 10, 15, 30 s,
// minutes, hours, days.
double time_step(double span, int target)
{
    constexpr double kDay = 86400.0;
    constexpr std::array<double, 18> kSteps{1,   2,   5,    10,   15,   30,    60,    120,   300,
                                            600, 900, 1800, 3600, 7200, 10800, 21600, 43200, kDay};
    const double raw = span / target;
    if (raw < 1.0) {
        return nice_step(span, target);
    }
    for (const double step : kSteps) {
        if (step >= raw) {
            return step;
        }
    }
    return nice_step(span / kDay, target) * kDay;
}

// The multiples of step within [low, high].
std::vector<double> ticks(double low, double high, double step)
{
    std::vector<double> found;
    const double slack = step * 1e-9;
    const auto first = std::llround(std::ceil((low - slack) / step));
    const auto last = std::llround(std::floor((high + slack) / step));
    // A step too fine for its values' precision gives no ticks, not thousands.
    constexpr long long kMostTicks = 100;
    for (long long k = first; k <= last && last - first <= kMostTicks; ++k) {
        found.push_back(double(k) * step + 0.0);  // + 0.0: no "-0"
    }
    return found;
}

QString number_text(double value, double step)
{
    const int decimals = step >= 1.0 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
    return QString::number(value, 'f', decimals);
}

QString time_text(double seconds, double step, double span)
{
    // A capture's clock as it read, counted as UTC.
    const QDateTime time =
        QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000)), QTimeZone::utc());
    if (step >= 86400.0) {
        return time.toString("yyyy-MM-dd");
    }
    if (span >= 86400.0) {
        return time.toString("MM-dd hh:mm");
    }
    if (step < 1.0) {
        return time.toString("hh:mm:ss.zzz");
    }
    return time.toString(step < 60.0 ? "hh:mm:ss" : "hh:mm");
}

// At most four points a pixel column (its first, lowest, highest and last,
// in their order), which draw the same line as all of them: the values of
// 10,000 captures would otherwise be stroked one segment at a time.
QPolygonF thinned_to_columns(const QPolygonF& line)
{
    QPolygonF thinned;
    qsizetype start = 0;
    while (start < line.size()) {
        const double column = std::floor(line[start].x());
        qsizetype end = start;
        qsizetype low = start;
        qsizetype high = start;
        for (; end < line.size() && std::floor(line[end].x()) == column; ++end) {
            low = line[end].y() < line[low].y() ? end : low;
            high = line[end].y() > line[high].y() ? end : high;
        }
        // A point whose x is no number equals no column: kept on its own.
        end = std::max(end, start + 1);
        std::array<qsizetype, 4> kept{start, low, high, end - 1};
        std::sort(kept.begin(), kept.end());
        for (std::size_t i = 0; i < kept.size(); ++i) {
            if (i == 0 || kept[i] != kept[i - 1]) {
                thinned << line[kept[i]];
            }
        }
        start = end;
    }
    return thinned;
}

}  // namespace

void PlotPainting::SetPlots(std::vector<PlotSeries> series, QString x_title, QString y_title,
                            std::optional<double> marked_x)
{
    series_ = std::move(series);
    x_title_ = std::move(x_title);
    y_title_ = std::move(y_title);
    marked_x_ = marked_x;
    Fit();
}

void PlotPainting::SetYAxis(PlotAxis axis)
{
    y_axis_ = std::move(axis);
    Fit();
}

bool PlotPainting::HasPoints() const
{
    return std::any_of(series_.begin(), series_.end(),
                       [](const PlotSeries& line) { return !line.points.empty(); });
}

void PlotPainting::Fit()
{
    if (!HasPoints()) {
        return;
    }
    double x_low = std::numeric_limits<double>::infinity();
    double x_high = -x_low;
    double low = x_low;
    double high = x_high;
    for (const PlotSeries& line : series_) {
        for (const PlotPoint& point : line.points) {
            x_low = std::min(x_low, point.x);
            x_high = std::max(x_high, point.x);
            low = std::min(low, point.y);
            high = std::max(high, point.y);
        }
    }
    x_min_ = std::min(x_low, marked_x_.value_or(x_low));
    x_max_ = std::max(x_high, marked_x_.value_or(x_high));
    const double x_room = x_max_ > x_min_ ? (x_max_ - x_min_) * 0.02 : 1.0;
    x_min_ -= x_room;
    x_max_ += x_room;
    switch (y_axis_.kind) {
    case PlotAxis::Kind::Named: {
        // Every name on the axis, those not plotted too.
        if (!y_axis_.names.empty()) {
            low = std::min(low, y_axis_.names.front().first);
            high = std::max(high, y_axis_.names.back().first);
        }
        const double room = high > low ? (high - low) * 0.1 : 0.5;
        y_min_ = low - room;
        y_max_ = high + room;
        break;
    }
    case PlotAxis::Kind::Byte:
        if (high <= low) {
            low -= 1;
            high += 1;
        }
        y_step_ = 1;
        while (y_step_ * 5 < high - low) {
            y_step_ *= 2;
        }
        y_min_ = std::max(0.0, std::floor(low / y_step_) * y_step_);
        y_max_ = std::min(255.0, std::ceil(high / y_step_) * y_step_);
        break;
    case PlotAxis::Kind::Number:
        if (high <= low) {
            const double room = std::max(std::abs(low) * 0.1, 1.0);
            low -= room;
            high += room;
        }
        y_step_ = nice_step(high - low, 5);
        y_min_ = std::floor(low / y_step_) * y_step_;
        y_max_ = std::ceil(high / y_step_) * y_step_;
        break;
    }
}

std::vector<PlotTick> PlotPainting::YTicks() const
{
    std::vector<PlotTick> found;
    if (y_axis_.kind == PlotAxis::Kind::Named) {
        for (const auto& [value, name] : y_axis_.names) {
            if (value >= y_min_ && value <= y_max_) {
                found.push_back({value, name});
            }
        }
        return found;
    }
    for (const double tick : ticks(y_min_, y_max_, y_step_)) {
        found.push_back({tick, y_axis_.kind == PlotAxis::Kind::Byte
                                   ? QString::fromStdString(hex_byte_value(std::uint8_t(tick)))
                                   : number_text(tick, y_step_)});
    }
    return found;
}

QRectF PlotPainting::PlotArea(QSizeF size, const QFont& font) const
{
    const QFontMetricsF metrics(font);
    double label_width = 0;
    for (const PlotTick& tick : YTicks()) {
        label_width = std::max(label_width, metrics.horizontalAdvance(tick.label));
    }
    // A long name is cut rather than the plot squeezed.
    label_width = std::min(label_width, size.width() / 4.0);
    const double line = metrics.height();
    const double left = kGap + line + kGap + label_width + kGap + kTickLength;
    const double bottom = kTickLength + kGap + line + kGap + line + kGap;
    // Room for half of a label centred on the right end.
    const double right = kGap + metrics.horizontalAdvance(x_is_time_ ? "00-00 00:00" : "-0000") / 2;
    const double top = kGap + line / 2;
    return QRectF(QPointF(left, top), QPointF(size.width() - right, size.height() - bottom));
}

QPointF PlotPainting::ToPicture(const PlotPoint& point, const QRectF& area) const
{
    return {area.left() + (point.x - x_min_) / (x_max_ - x_min_) * area.width(),
            area.bottom() - (point.y - y_min_) / (y_max_ - y_min_) * area.height()};
}

std::optional<PlotHit> PlotPainting::PointAt(QPointF position, QSizeF size, const QFont& font) const
{
    const QRectF area = PlotArea(size, font);
    std::optional<PlotHit> nearest;
    double nearest_distance = kNear;
    for (std::size_t s = 0; s < series_.size(); ++s) {
        const auto& points = series_[s].points;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const QPointF at = ToPicture(points[i], area);
            const double distance = std::hypot(at.x() - position.x(), at.y() - position.y());
            if (distance <= nearest_distance) {
                nearest = PlotHit{s, i};
                nearest_distance = distance;
            }
        }
    }
    return nearest;
}

QColor PlotPainting::SeriesColor(const QPalette& palette, std::size_t series)
{
    const QColor first = palette.color(QPalette::Highlight);
    if (series == 0) {
        return first;
    }
    // Across the colour wheel from the first, as light and as strong.
    const int hue = first.hsvHue();
    if (hue < 0) {
        return palette.color(QPalette::LinkVisited);
    }
    return QColor::fromHsv((hue + 150 * int(series)) % 360, std::max(first.hsvSaturation(), 160),
                           first.value());
}

QImage PlotPainting::Picture(QSize size, const QFont& font, const QPalette& palette,
                             const QString& no_values) const
{
    if (size.isEmpty()) {
        return {};
    }
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&picture);
    Paint(painter, size, font, palette, no_values);
    return picture;
}

void PlotPainting::Paint(QPainter& painter, QSize size, const QFont& font, const QPalette& palette,
                         const QString& no_values) const
{
    const QRect whole(QPoint(), size);
    const QColor text = palette.color(QPalette::Text);
    painter.setFont(font);
    painter.fillRect(whole, palette.color(QPalette::Base));
    painter.setPen(text);
    if (!HasPoints()) {
        painter.drawText(whole, Qt::AlignCenter, no_values);
        return;
    }
    const QRectF area = PlotArea(size, font);
    const QFontMetricsF metrics(font);
    const double line = metrics.height();
    QColor grid = text;
    grid.setAlphaF(0.15F);

    for (const PlotTick& tick : YTicks()) {
        const double y = ToPicture({x_min_, tick.value, {}}, area).y();
        painter.setPen(grid);
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(text);
        painter.drawLine(QPointF(area.left() - kTickLength, y), QPointF(area.left(), y));
        const QRectF label(0, y - line / 2, area.left() - kTickLength - kGap, line);
        painter.drawText(
            label, Qt::AlignRight | Qt::AlignVCenter,
            metrics.elidedText(tick.label, Qt::ElideRight, label.width() - kGap - line - kGap));
    }

    // As many x labels as fit side by side.
    const double x_span = x_max_ - x_min_;
    const double sample_width =
        metrics.horizontalAdvance(x_is_time_ ? time_text(x_min_, 1.0, x_span) : "-0000") + 3 * kGap;
    const int x_target = std::max(2, int(area.width() / sample_width));
    const double x_step = x_is_time_ ? time_step(x_span, x_target) : nice_step(x_span, x_target);
    for (const double tick : ticks(x_min_, x_max_, x_step)) {
        const double x = ToPicture({tick, y_min_, {}}, area).x();
        painter.setPen(grid);
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
        painter.setPen(text);
        painter.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + kTickLength));
        const QString label =
            x_is_time_ ? time_text(tick, x_step, x_span) : number_text(tick, x_step);
        const double label_width = metrics.horizontalAdvance(label) + kGap;
        painter.drawText(
            QRectF(x - label_width / 2, area.bottom() + kTickLength + kGap, label_width, line),
            Qt::AlignCenter, label);
    }

    painter.setPen(text);
    painter.drawRect(area);
    painter.drawText(QRectF(area.left(), size.height() - kGap - line, area.width(), line),
                     Qt::AlignCenter, x_title_);
    painter.save();
    painter.translate(kGap, area.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-area.height() / 2, 0, area.height(), line), Qt::AlignCenter, y_title_);
    painter.restore();

    painter.setRenderHint(QPainter::Antialiasing);
    if (marked_x_) {
        QPen mark(palette.color(QPalette::LinkVisited), 1.5, Qt::DashLine);
        painter.setPen(mark);
        const double x = ToPicture({*marked_x_, y_min_, {}}, area).x();
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }

    for (std::size_t s = 0; s < series_.size(); ++s) {
        const std::vector<PlotPoint>& points = series_[s].points;
        const QColor colour = SeriesColor(palette, s);
        QPolygonF joined;
        joined.reserve(qsizetype(points.size()));
        for (const PlotPoint& point : points) {
            joined << ToPicture(point, area);
        }
        // Round caps, so that the segments join as a polyline's would; the
        // lines after the first dashed, told apart without their colours.
        painter.setPen(QPen(colour, 1.5, s == 0 ? Qt::SolidLine : Qt::DashLine, Qt::RoundCap));
        // Segment by segment: one polyline of thousands of points, crossing
        // itself, is filled as one outline, which takes seconds.
        const QPolygonF thinned = thinned_to_columns(joined);
        QList<QLineF> segments;
        segments.reserve(thinned.size());
        for (qsizetype i = 1; i < thinned.size(); ++i) {
            segments.append(QLineF(thinned[i - 1], thinned[i]));
        }
        painter.drawLines(segments);
        // Dots too, where they stand apart (and so that one point shows).
        if (double(points.size()) * 4 <= area.width()) {
            painter.setPen(QPen(colour, 1.5));
            painter.setBrush(colour);
            for (const QPointF& at : joined) {
                painter.drawEllipse(at, 2.5, 2.5);
            }
        }
        painter.setBrush(Qt::NoBrush);
    }
    if (series_.size() > 1) {
        PaintLegend(painter, area, font, palette);
    }
}

void PlotPainting::PaintLegend(QPainter& painter, const QRectF& area, const QFont& font,
                               const QPalette& palette) const
{
    const QFontMetricsF metrics(font);
    const double line = metrics.height();
    const double sample = 2 * line;
    double widest = 0;
    for (const PlotSeries& series : series_) {
        widest = std::max(widest, metrics.horizontalAdvance(series.name));
    }
    const double width = std::min(kGap + sample + kGap + widest + kGap, area.width() - 2 * kGap);
    const QRectF box(area.right() - kGap - width, area.top() + kGap, width,
                     kGap + double(series_.size()) * line + kGap);
    QColor back = palette.color(QPalette::Base);
    back.setAlphaF(0.85F);
    painter.setPen(palette.color(QPalette::Mid));
    painter.setBrush(back);
    painter.drawRect(box);
    painter.setBrush(Qt::NoBrush);
    for (std::size_t s = 0; s < series_.size(); ++s) {
        const double y = box.top() + kGap + double(s) * line + line / 2;
        painter.setPen(QPen(SeriesColor(palette, s), 1.5, s == 0 ? Qt::SolidLine : Qt::DashLine,
                            Qt::RoundCap));
        painter.drawLine(QPointF(box.left() + kGap, y), QPointF(box.left() + kGap + sample, y));
        painter.setPen(palette.color(QPalette::Text));
        const QRectF label(box.left() + kGap + sample + kGap, y - line / 2,
                           box.right() - kGap - (box.left() + kGap + sample + kGap), line);
        painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(series_[s].name, Qt::ElideMiddle, label.width()));
    }
}

}  // namespace quillon
