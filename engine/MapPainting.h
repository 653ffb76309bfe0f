// The variation map painted with QPainter, for the series window and the
// report alike: a row for each offset from the fired record (top to
// bottom), a column for each of the map's columns (the 32 byte positions,
// then each field), each cell coloured by how many captures differ there
// from the reference. The offsets' labels on the left, the columns'
// headings on top and the legend on the right are drawn in bands of their
// own, over the cells, so that a view scrolled either way keeps them. Drawn
// from the map's numbers only. Needs Qt GUI only: it paints on any
// QPaintDevice, a widget's or a QImage.
#pragma once

#include "Series.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QPainter;

namespace quillon {

// The colours a map is painted in.
struct MapColours {
    QColor base;       // under the cells
    QColor band;       // under the headings, the offsets and the legend
    QColor text;       // the headings', the offsets' and the legend's
    QColor lines;      // around the cells
    QColor highlight;  // around the cell chosen
    // A cell's colour for the share of the most captures that can differ
    // there (0: none, base; 1: every one).
    std::function<QColor(double share)> scale;
};

class MapPainting {
public:
    MapPainting();

    // The map, its headings made.
    void SetMap(VariationMap map);
    const VariationMap& Map() const { return map_; }
    int Columns() const { return int(map_.columns.size()); }
    QString ColumnHeading(int column) const { return headings_[column]; }
    // Works out the grid for a font; legend_title: the legend's heading,
    // already worded ("Captures differing").
    void Layout(const QFont& font, const QString& legend_title);

    // The most captures that can differ: all mapped but the reference.
    int MostDiffering() const;
    // A cell's share of MostDiffering.
    double Share(MapCell cell) const;

    // The whole of the cells, unscrolled; the bands' sizes.
    QSize ContentSize() const;
    int RowHeadingWidth() const { return row_heading_width_; }
    int HeadingHeight() const { return heading_height_; }
    int RowHeight() const { return row_height_; }
    int LegendBand() const;
    QSize LegendSize() const;
    // Where a column begins, from the cells' left (Columns() + 1 edges).
    const std::vector<int>& ColumnLeft() const { return column_left_; }
    // The whole map and its bands, as a picture shows it.
    QSize WholeSize() const;

    // The geometry that drawing and a view's hit tests share: as scrolled
    // by scroll, in a view of size area.
    QRect CellsArea(QSize area) const;
    QRect CellRectAt(MapCell cell, QPoint scroll) const;
    QRect ColumnHeadingRectAt(int column, QPoint scroll) const;
    QRect RowHeadingRectAt(int row, QPoint scroll) const;
    QRect LegendRectIn(QSize area) const;
    // The cell drawn at a point of a view of size area scrolled by scroll.
    std::optional<MapCell> CellAt(QPoint point, QSize area, QPoint scroll) const;

    // Draws the map into a view of size area scrolled by scroll: the cells
    // exposed, then the bands over them; current outlined.
    void Draw(QPainter& painter, QSize area, QPoint scroll, const QRect& exposed,
              std::optional<MapCell> current, const MapColours& colours) const;
    // The map whole, with its headings, under lines of text (the folder,
    // the reference, the rules), in font.
    QImage Picture(const QStringList& caption, const QFont& font, const MapColours& colours) const;

private:
    VariationMap map_;
    QStringList headings_;
    QString legend_title_;
    int row_heading_width_ = 0;
    int heading_height_ = 0;
    int row_height_ = 0;
    std::vector<int> column_left_{0};
    int legend_width_ = 0;
};

}  // namespace quillon
