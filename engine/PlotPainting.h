// A plot of values painted with QPainter, for the plot windows and the
// report alike: one or more lines of points over an x axis (a record's
// offset from the fired record, or a capture's time), one x marked (the
// fired record), a legend naming the lines when there are several. The y
// axis reads its values as numbers, as bytes ("0x40") or by the names a
// field gives them. Needs Qt GUI only: it paints on any QPaintDevice, a
// widget's or a QImage.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

class QPainter;

namespace quillon {

struct PlotPoint {
    double x = 0;
    double y = 0;
    QString label;  // the tooltip: "T-3 (record 124): 12.34 mm"
};

// One line of a plot.
struct PlotSeries {
    QString name;                   // the legend's: "B: diff-b.txt"; "" alone
    std::vector<PlotPoint> points;  // in the order of x
    // What was taken from each point's own x (its record's number) to
    // place it: the record at x = 0, its fired record when aligned so.
    double x_shift = 0;
};

// How the y axis labels its ticks.
struct PlotAxis {
    enum class Kind {
        Number,  // at steps of 1, 2 or 5 times a power of ten
        Byte,    // "0x40", at steps of a power of two
        Named,   // at the named values only, by their names
    };
    Kind kind = Kind::Number;
    std::vector<std::pair<double, QString>> names;  // with Named, in the order of the values
};

struct PlotTick {
    double value = 0;
    QString label;

    bool operator==(const PlotTick&) const = default;
};

// A point of a line: which line, which point.
struct PlotHit {
    std::size_t series = 0;
    std::size_t point = 0;

    bool operator==(const PlotHit&) const = default;
};

class PlotPainting {
public:
    // What is plotted: the lines, the axes' titles (already worded), and
    // an x to mark with a vertical line (the fired record) or none.
    void SetPlots(std::vector<PlotSeries> series, QString x_title, QString y_title,
                  std::optional<double> marked_x = std::nullopt);
    // How the y axis reads the values (numbers until told).
    void SetYAxis(PlotAxis axis);
    // When x is a capture's time (its clock's reading in seconds, counted
    // as UTC), the axis labels it as a date and time.
    void SetXIsTime(bool time) { x_is_time_ = time; }

    const std::vector<PlotSeries>& Series() const { return series_; }
    const QString& XTitle() const { return x_title_; }
    const QString& YTitle() const { return y_title_; }
    bool HasPoints() const;
    // The y axis's ticks as drawn.
    std::vector<PlotTick> YTicks() const;

    // Where the points are drawn in a picture of that size and font.
    QRectF PlotArea(QSizeF size, const QFont& font) const;
    QPointF ToPicture(const PlotPoint& point, const QRectF& area) const;
    // The point nearest to a position in the picture, within a few
    // pixels; nothing when none is near.
    std::optional<PlotHit> PointAt(QPointF position, QSizeF size, const QFont& font) const;
    // The colour a line is drawn in.
    static QColor SeriesColor(const QPalette& palette, std::size_t series);

    // Paints the whole plot over a picture of that size; no_values is
    // written in its middle when there is nothing to plot.
    void Paint(QPainter& painter, QSize size, const QFont& font, const QPalette& palette,
               const QString& no_values) const;
    // The same into an image of its own.
    QImage Picture(QSize size, const QFont& font, const QPalette& palette,
                   const QString& no_values) const;

private:
    // The axes' ranges from the points and the y axis's kind.
    void Fit();
    void PaintLegend(QPainter& painter, const QRectF& area, const QFont& font,
                     const QPalette& palette) const;

    std::vector<PlotSeries> series_;
    QString x_title_;
    QString y_title_;
    std::optional<double> marked_x_;
    PlotAxis y_axis_;
    bool x_is_time_ = false;
    // The axes' ranges: x the points' (and the mark's) with a little room,
    // y widened to its ticks.
    double x_min_ = 0, x_max_ = 1, y_min_ = 0, y_max_ = 1;
    double y_step_ = 1;
};

}  // namespace quillon
