#include "PlotView.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QStringList>
#include <QToolTip>

#include <algorithm>

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
    std::vector<PlotSeries> one;
    one.push_back({QString(), std::move(points), 0.0});
    SetPlots(std::move(one), std::move(x_title), std::move(y_title), marked_x);
}

void PlotView::SetPlots(std::vector<PlotSeries> series, QString x_title, QString y_title,
                        std::optional<double> marked_x)
{
    painting_.SetPlots(std::move(series), std::move(x_title), std::move(y_title), marked_x);
    UpdateDescription();
    update();
}

void PlotView::SetYAxis(PlotAxis axis)
{
    painting_.SetYAxis(std::move(axis));
    UpdateDescription();
    update();
}

const std::vector<PlotPoint>& PlotView::Points() const
{
    static const std::vector<PlotPoint> kNone;
    return Series().empty() ? kNone : Series().front().points;
}

std::vector<PlotTick> PlotView::YTicks() const
{
    return painting_.YTicks();
}

void PlotView::SetXIsTime(bool time)
{
    painting_.SetXIsTime(time);
    update();
}

void PlotView::UpdateDescription()
{
    const QString what =
        tr("%1 over %2", "the y axis over the x axis").arg(painting_.YTitle(), painting_.XTitle());
    const std::vector<PlotSeries>& lines_plotted = painting_.Series();
    // Each line: its name (or what the plot shows, for a line alone), how
    // many points and their range.
    const auto described = [](const PlotSeries& line, const QString& named) {
        if (line.points.empty()) {
            return tr("%1, no values to plot").arg(named);
        }
        const auto [low, high] =
            std::minmax_element(line.points.begin(), line.points.end(),
                                [](const PlotPoint& a, const PlotPoint& b) { return a.y < b.y; });
        const QString low_text = QString::number(low->y, 'g', 10);
        const QString high_text = QString::number(high->y, 'g', 10);
        return line.points.size() == 1
                   ? tr("%1, 1 point, from %2 to %3").arg(named, low_text, high_text)
                   : tr("%1, %2 points, from %3 to %4")
                         .arg(named, QString::number(line.points.size()), low_text, high_text);
    };
    if (lines_plotted.size() <= 1) {
        setAccessibleDescription(lines_plotted.empty() ? tr("%1, no values to plot").arg(what)
                                                       : described(lines_plotted.front(), what));
        return;
    }
    QStringList lines;
    for (const PlotSeries& line : lines_plotted) {
        lines << described(line, line.name);
    }
    setAccessibleDescription(tr("%1: %2", "what a plot shows: each of its lines")
                                 .arg(what, lines.join(tr("; ", "between the lines of a plot"))));
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

std::optional<PlotHit> PlotView::PointAt(QPoint position) const
{
    return painting_.PointAt(position, size(), font());
}

QColor PlotView::SeriesColor(std::size_t series) const
{
    return quillon::PlotPainting::SeriesColor(palette(), series);
}

QImage PlotView::Picture() const
{
    return painting_.Picture(size(), font(), palette(), tr("No values to plot"));
}

void PlotView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painting_.Paint(painter, size(), font(), palette(), tr("No values to plot"));
}

bool PlotView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (const auto hit = PointAt(help->pos())) {
            QToolTip::showText(help->globalPos(), Series()[hit->series].points[hit->point].label,
                               this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}
