// A plot of values, drawn with QPainter: points joined by lines over an x
// axis (a record's offset from the fired record, or a capture's time), one
// x marked (the fired record), the desktop's palette for its colours. The
// point under the mouse shows its label as a tooltip. Accessible as
// "Plot", with a description of what it shows.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <optional>
#include <vector>

struct PlotPoint {
    double x = 0;
    double y = 0;
    QString label;  // the tooltip: "T-3 (record 124): 12.34 mm"
};

class QPainter;

class PlotView : public QWidget {
    Q_OBJECT

public:
    explicit PlotView(QWidget* parent = nullptr);

    // What is plotted: the points in the order of x, the axes' titles, and
    // an x to mark with a vertical line (the fired record) or none. The
    // accessible description says it: "position (mm) over offset from the
    // fired record, 120 points, from -12.5 to 48.2".
    void SetPlot(std::vector<PlotPoint> points, QString x_title, QString y_title,
                 std::optional<double> marked_x = std::nullopt);
    // When x is a capture's time (its clock's reading in seconds, counted
    // as UTC), the axis labels it as a date and time.
    void SetXIsTime(bool time);

    const std::vector<PlotPoint>& Points() const { return points_; }
    // The point nearest to a position in the widget, within a few pixels;
    // nothing when none is near.
    std::optional<std::size_t> PointAt(QPoint position) const;
    // The picture as it is drawn, for "Export Picture...".
    QImage Picture() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // The name and description in the language now applied.
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    // Draws everything that paintEvent and Picture show.
    void Paint(QPainter& painter) const;
    QRectF PlotArea() const;
    QPointF ToWidget(const PlotPoint& point) const;
    void UpdateDescription();
    void RetranslateUi();

    std::vector<PlotPoint> points_;
    QString x_title_;
    QString y_title_;
    std::optional<double> marked_x_;
    bool x_is_time_ = false;
    // The axes' ranges: x the points' (and the mark's) with a little room,
    // y widened to its ticks.
    double x_min_ = 0, x_max_ = 1, y_min_ = 0, y_max_ = 1;
    double y_step_ = 1;
};
