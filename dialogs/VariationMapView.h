// Where the captures of a series vary around their triggers, drawn with
// QPainter: a row for each offset from the fired record (top to bottom), a
// column for each of the map's columns (the 32 byte positions R0..RF,
// S0..SF, then each field); a cell's colour says how many captures differ there from the
// reference (none: the palette's base), a legend beside the grid. Drawn
// from the map's numbers only, so that a thousand captures redraw at once.
// A click or the arrow keys choose a cell; its text is the tooltip and
// what a screen reader reads as the map's value.
#pragma once

#include "Series.h"

#include <QStringList>
#include <QWidget>

#include <optional>
#include <vector>

class VariationMapView : public QWidget {
    Q_OBJECT

public:
    using Cell = quillon::MapCell;

    explicit VariationMapView(QWidget* parent = nullptr);

    // The map; no cell chosen.
    void SetMap(quillon::VariationMap map);
    const quillon::VariationMap& Map() const { return map_; }
    int Columns() const;

    // "T-3, Send 3: 4 captures differ, 3 distinct values".
    QString CellText(Cell cell) const;
    // The palette's base for no capture differing, stronger with more.
    QColor CellColor(Cell cell) const;
    QRect CellRect(Cell cell) const;
    std::optional<Cell> CellAt(QPoint point) const;

    std::optional<Cell> CurrentCell() const { return current_; }
    // Chooses a cell and says so (cellChosen).
    void SetCurrentCell(Cell cell);

    // The map as it is drawn, whole, for "Export Picture...".
    QImage Picture() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void cellChosen(int row, int column);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString ColumnHeading(int column) const;
    void Layout();
    void Draw(QPainter& painter, const QRect& exposed) const;
    // The most captures that can differ: all mapped but the reference.
    int MostDiffering() const;

    quillon::VariationMap map_;
    QStringList headings_;  // the columns', made once for each paint
    std::optional<Cell> current_;
    // The grid's geometry, worked out when the map or the font changes.
    int row_heading_width_ = 0;
    int heading_height_ = 0;
    int row_height_ = 0;
    std::vector<int> column_left_;  // Columns() + 1 edges
    int legend_left_ = 0;
    int legend_width_ = 0;
};
