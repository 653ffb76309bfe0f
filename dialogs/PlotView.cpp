#include "PlotView.h"

#include <QDateTime>
#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimeZone>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// How near (in pixels) the mouse must be to a point to find it.
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

PlotView::PlotView(QWidget* parent) : QWidget(parent)
{
    RetranslateUi();
}

void PlotView::RetranslateUi()
{
    setAccessibleName(tr("Plot"));
    UpdateDescription();
}

void PlotView::SetPlot(std::vector<PlotPoint> points, QString x_title, QString y_title,
                       std::optional<double> marked_x)
{
    points_ = std::move(points);
    x_title_ = std::move(x_title);
    y_title_ = std::move(y_title);
    marked_x_ = marked_x;
    if (!points_.empty()) {
        const auto [x_low, x_high] =
            std::minmax_element(points_.begin(), points_.end(),
                                [](const PlotPoint& a, const PlotPoint& b) { return a.x < b.x; });
        const auto [y_low, y_high] =
            std::minmax_element(points_.begin(), points_.end(),
                                [](const PlotPoint& a, const PlotPoint& b) { return a.y < b.y; });
        x_min_ = std::min(x_low->x, marked_x.value_or(x_low->x));
        x_max_ = std::max(x_high->x, marked_x.value_or(x_high->x));
        const double x_room = x_max_ > x_min_ ? (x_max_ - x_min_) * 0.02 : 1.0;
        x_min_ -= x_room;
        x_max_ += x_room;
        double low = y_low->y;
        double high = y_high->y;
        if (high <= low) {
            const double room = std::max(std::abs(low) * 0.1, 1.0);
            low -= room;
            high += room;
        }
        y_step_ = nice_step(high - low, 5);
        y_min_ = std::floor(low / y_step_) * y_step_;
        y_max_ = std::ceil(high / y_step_) * y_step_;
    }
    UpdateDescription();
    update();
}

void PlotView::SetXIsTime(bool time)
{
    x_is_time_ = time;
    update();
}

void PlotView::UpdateDescription()
{
    const QString what = tr("%1 over %2", "the y axis over the x axis").arg(y_title_, x_title_);
    if (points_.empty()) {
        setAccessibleDescription(tr("%1, no values to plot").arg(what));
        return;
    }
    const auto [low, high] =
        std::minmax_element(points_.begin(), points_.end(),
                            [](const PlotPoint& a, const PlotPoint& b) { return a.y < b.y; });
    const QString low_text = QString::number(low->y, 'g', 10);
    const QString high_text = QString::number(high->y, 'g', 10);
    setAccessibleDescription(
        points_.size() == 1 ? tr("%1, 1 point, from %2 to %3").arg(what, low_text, high_text)
                            : tr("%1, %2 points, from %3 to %4")
                                  .arg(what, QString::number(points_.size()), low_text, high_text));
}

void PlotView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        RetranslateUi();
    }
    QWidget::changeEvent(event);
}

QSize PlotView::sizeHint() const
{
    return {640, 400};
}

QRectF PlotView::PlotArea() const
{
    const QFontMetricsF metrics(font());
    double label_width = 0;
    for (const double tick : ticks(y_min_, y_max_, y_step_)) {
        label_width = std::max(label_width, metrics.horizontalAdvance(number_text(tick, y_step_)));
    }
    const double line = metrics.height();
    const double left = kGap + line + kGap + label_width + kGap + kTickLength;
    const double bottom = kTickLength + kGap + line + kGap + line + kGap;
    // Room for half of a label centred on the right end.
    const double right = kGap + metrics.horizontalAdvance(x_is_time_ ? "00-00 00:00" : "-0000") / 2;
    const double top = kGap + line / 2;
    return QRectF(QPointF(left, top), QPointF(width() - right, height() - bottom));
}

QPointF PlotView::ToWidget(const PlotPoint& point) const
{
    const QRectF area = PlotArea();
    return {area.left() + (point.x - x_min_) / (x_max_ - x_min_) * area.width(),
            area.bottom() - (point.y - y_min_) / (y_max_ - y_min_) * area.height()};
}

std::optional<std::size_t> PlotView::PointAt(QPoint position) const
{
    std::optional<std::size_t> nearest;
    double nearest_distance = kNear;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const QPointF at = ToWidget(points_[i]);
        const double distance = std::hypot(at.x() - position.x(), at.y() - position.y());
        if (distance <= nearest_distance) {
            nearest = i;
            nearest_distance = distance;
        }
    }
    return nearest;
}

QImage PlotView::Picture() const
{
    if (size().isEmpty()) {
        return {};
    }
    QImage picture(size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&picture);
    Paint(painter);
    return picture;
}

void PlotView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    Paint(painter);
}

void PlotView::Paint(QPainter& painter) const
{
    const QPalette& colours = palette();
    const QColor text = colours.color(QPalette::Text);
    painter.setFont(font());
    painter.fillRect(rect(), colours.color(QPalette::Base));
    painter.setPen(text);
    if (points_.empty()) {
        painter.drawText(rect(), Qt::AlignCenter, tr("No values to plot"));
        return;
    }
    const QRectF area = PlotArea();
    const QFontMetricsF metrics(font());
    const double line = metrics.height();
    QColor grid = text;
    grid.setAlphaF(0.15F);

    for (const double tick : ticks(y_min_, y_max_, y_step_)) {
        const double y = ToWidget({x_min_, tick, {}}).y();
        painter.setPen(grid);
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(text);
        painter.drawLine(QPointF(area.left() - kTickLength, y), QPointF(area.left(), y));
        const QRectF label(0, y - line / 2, area.left() - kTickLength - kGap, line);
        painter.drawText(label, Qt::AlignRight | Qt::AlignVCenter, number_text(tick, y_step_));
    }

    // As many x labels as fit side by side.
    const double x_span = x_max_ - x_min_;
    const double sample_width =
        metrics.horizontalAdvance(x_is_time_ ? time_text(x_min_, 1.0, x_span) : "-0000") + 3 * kGap;
    const int x_target = std::max(2, int(area.width() / sample_width));
    const double x_step = x_is_time_ ? time_step(x_span, x_target) : nice_step(x_span, x_target);
    for (const double tick : ticks(x_min_, x_max_, x_step)) {
        const double x = ToWidget({tick, y_min_, {}}).x();
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
    painter.drawText(QRectF(area.left(), height() - kGap - line, area.width(), line),
                     Qt::AlignCenter, x_title_);
    painter.save();
    painter.translate(kGap, area.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-area.height() / 2, 0, area.height(), line), Qt::AlignCenter, y_title_);
    painter.restore();

    painter.setRenderHint(QPainter::Antialiasing);
    if (marked_x_) {
        QPen mark(colours.color(QPalette::LinkVisited), 1.5, Qt::DashLine);
        painter.setPen(mark);
        const double x = ToWidget({*marked_x_, y_min_, {}}).x();
        painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }

    const QColor highlight = colours.color(QPalette::Highlight);
    QPolygonF joined;
    joined.reserve(qsizetype(points_.size()));
    for (const PlotPoint& point : points_) {
        joined << ToWidget(point);
    }
    // Round caps, so that the segments join as a polyline's would.
    painter.setPen(QPen(highlight, 1.5, Qt::SolidLine, Qt::RoundCap));
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
    if (double(points_.size()) * 4 <= area.width()) {
        painter.setBrush(highlight);
        for (const QPointF& at : joined) {
            painter.drawEllipse(at, 2.5, 2.5);
        }
    }
}

bool PlotView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (const auto index = PointAt(help->pos())) {
            QToolTip::showText(help->globalPos(), points_[*index].label, this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}
