// Where the captures of a series vary around their triggers, drawn with
// QPainter: a row for each offset from the fired record (top to bottom), a
// column for each of the map's columns (the 32 byte positions R0..RF,
// S0..SF, then each field); a cell's colour says how many captures differ there from the
// reference (none: the palette's base). Painted by MapPainting, as the
// report's map is. The offsets' labels on the left,
// the columns' headings on top and the legend on the right are drawn in
// bands of their own that stay in view while the cells scroll either way.
// Drawn from the map's numbers only, so that a thousand captures redraw at
// once. A click or the arrow keys choose a cell; its text is the tooltip
// (on hover, focused or not) and what a screen reader reads as the map's
// value.
#pragma once

#include "MapPainting.h"
#include "Series.h"

#include <QAbstractScrollArea>
#include <QStringList>

#include <optional>
#include <vector>

class VariationMapView : public QAbstractScrollArea {
    Q_OBJECT

public:
    using Cell = quillon::MapCell;

    explicit VariationMapView(QWidget* parent = nullptr);

    // The map; no cell chosen. The scroll bars keep their place.
    void SetMap(quillon::VariationMap map);
    const quillon::VariationMap& Map() const { return painting_.Map(); }
    int Columns() const;

    // "T-3, Send 3: 4 captures differ, 3 distinct values".
    QString CellText(Cell cell) const;
    // The palette's base for no capture differing, stronger with more.
    QColor CellColor(Cell cell) const;

    // Where things are drawn, in the viewport's coordinates as it is
    // scrolled now: a cell, a column's heading, a row's offset label, the
    // legend. The headings and the legend stay within the viewport; a cell
    // scrolled away lies outside the cells' area.
    QRect CellRect(Cell cell) const;
    QRect ColumnHeadingRect(int column) const;
    QRect RowHeadingRect(int row) const;
    QRect LegendRect() const;
    // The part of the viewport where cells are drawn (between the bands).
    QRect CellsArea() const;
    // The cell drawn at a point of the viewport.
    std::optional<Cell> CellAt(QPoint point) const;

    std::optional<Cell> CurrentCell() const { return current_; }
    // Chooses a cell, scrolls it into view and says so (cellChosen).
    void SetCurrentCell(Cell cell);
    // Scrolls the cell into the middle of the view, now and again when
    // the view is first laid out (before, it has no size).
    void CenterOn(Cell cell);

    // The map as it is drawn, whole, with its headings, under lines of
    // text (the folder, the reference, the rules), for "Export Picture...".
    QImage Picture(const QStringList& caption = {}) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void cellChosen(int row, int column);

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Layout();
    void UpdateScrollBars();
    // The colours of the palette.
    quillon::MapColours Colours() const;
    QPoint Scroll() const;
    void EnsureVisible(Cell cell);

    // The map, its geometry and its painting, shared with the report.
    quillon::MapPainting painting_;
    std::optional<Cell> current_;
    // A cell to centre on once the view has its size.
    std::optional<Cell> centred_;
};
