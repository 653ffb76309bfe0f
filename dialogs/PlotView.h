// A plot of values, drawn with QPainter: one or more lines of points over
// an x axis (a record's offset from the fired record, or a capture's time),
// one x marked (the fired record), a legend naming the lines when there are
// several, the desktop's palette for its colours. The y axis reads its
// values as numbers, as bytes ("0x40") or by the names a field gives them.
// The point under the mouse shows its label as a tooltip. Accessible as
// "Plot", with a description of what it shows.
#pragma once

#include "PlotPainting.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <optional>
#include <vector>

// The plot's parts, painted by the same code as the report's pictures.
using PlotPoint = quillon::PlotPoint;
using PlotSeries = quillon::PlotSeries;
using PlotAxis = quillon::PlotAxis;
using PlotTick = quillon::PlotTick;
using PlotHit = quillon::PlotHit;

class PlotView : public QWidget {
    Q_OBJECT

public:
    explicit PlotView(QWidget* parent = nullptr);

    // What is plotted: the points of one line in the order of x, the axes'
    // titles, and an x to mark with a vertical line (the fired record) or
    // none. The accessible description says it: "position (mm) over offset
    // from the fired record, 120 points, from -12.5 to 48.2".
    void SetPlot(std::vector<PlotPoint> points, QString x_title, QString y_title,
                 std::optional<double> marked_x = std::nullopt);
    // The same for several lines, each named in the legend and the
    // description.
    void SetPlots(std::vector<PlotSeries> series, QString x_title, QString y_title,
                  std::optional<double> marked_x = std::nullopt);
    // How the y axis reads the values (numbers until told).
    void SetYAxis(PlotAxis axis);
    // When x is a capture's time (its clock's reading in seconds, counted
    // as UTC), the axis labels it as a date and time.
    void SetXIsTime(bool time);

    const std::vector<PlotSeries>& Series() const { return painting_.Series(); }
    // The first line's points; none without a line.
    const std::vector<PlotPoint>& Points() const;
    // The y axis's ticks as drawn.
    std::vector<PlotTick> YTicks() const;
    // The point nearest to a position in the widget, within a few pixels;
    // nothing when none is near.
    std::optional<PlotHit> PointAt(QPoint position) const;
    // The picture as it is drawn, for "Export Picture...".
    QImage Picture() const;
    // The colour a line is drawn in.
    QColor SeriesColor(std::size_t series) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // The name and description in the language now applied.
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void UpdateDescription();
    void RetranslateUi();

    quillon::PlotPainting painting_;
};
