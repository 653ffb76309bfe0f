// A plot of values, drawn with QPainter: one or more lines of points over
// an x axis (a record's offset from the fired record, or a capture's time),
// one x marked (the fired record), a legend naming the lines when there are
// several, the desktop's palette for its colours. The y axis reads its
// values as numbers, as bytes ("0x40") or by the names a field gives them.
// The point under the mouse shows its label as a tooltip. Accessible as
// "Plot", with a description of what it shows.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

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

class QPainter;

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

    const std::vector<PlotSeries>& Series() const { return series_; }
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
    // The axes' ranges from the points and the y axis's kind.
    void Fit();
    // Draws everything that paintEvent and Picture show.
    void Paint(QPainter& painter) const;
    void PaintLegend(QPainter& painter, const QRectF& area) const;
    QRectF PlotArea() const;
    QPointF ToWidget(const PlotPoint& point) const;
    void UpdateDescription();
    void RetranslateUi();
    bool HasPoints() const;

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
