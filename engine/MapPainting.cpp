#include "MapPainting.h"

#include "LogTimeline.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quillon {

MapPainting::MapPainting()
{
    SetMap({});
}

void MapPainting::SetMap(VariationMap map)
{
    map_ = std::move(map);
    headings_.clear();
    for (const RecordColumn& column : map_.columns) {
        headings_ << QString::fromStdString(column_heading(column));
    }
}

void MapPainting::Layout(const QFont& font, const QString& legend_title)
{
    const QFontMetrics metrics(font);
    legend_title_ = legend_title;
    row_height_ = metrics.height() + 2;
    heading_height_ = metrics.height() + 6;
    row_heading_width_ = metrics.horizontalAdvance("T+000") + 8;
    const int byte_width = metrics.horizontalAdvance("RF") + 10;
    column_left_.assign(1, 0);
    for (int column = 0; column < Columns(); ++column) {
        const int width =
            map_.columns[std::size_t(column)].kind == ColumnKind::Byte
                ? byte_width
                : std::max(byte_width, metrics.horizontalAdvance(ColumnHeading(column)) + 10);
        column_left_.push_back(column_left_.back() + width);
    }
    legend_width_ = std::max(row_height_ + 8 + metrics.horizontalAdvance("0000"),
                             metrics.horizontalAdvance(legend_title_));
}

int MapPainting::MostDiffering() const
{
    return std::max(1, map_.captures_mapped - 1);
}

double MapPainting::Share(MapCell cell) const
{
    return double(map_.cell(cell).differing) / MostDiffering();
}

QSize MapPainting::ContentSize() const
{
    return {column_left_.back(), map_.rows * row_height_ + 1};
}

int MapPainting::LegendBand() const
{
    return legend_width_ + 16;
}

QSize MapPainting::LegendSize() const
{
    // The legend's title and up to six swatches.
    return {legend_width_, heading_height_ + 6 * row_height_};
}

QSize MapPainting::WholeSize() const
{
    const QSize content = ContentSize();
    return {row_heading_width_ + content.width() + LegendBand(),
            std::max(heading_height_ + content.height(), LegendSize().height()) + 1};
}

QRect MapPainting::CellsArea(QSize area) const
{
    return {row_heading_width_, heading_height_,
            std::max(0, area.width() - row_heading_width_ - LegendBand()),
            std::max(0, area.height() - heading_height_)};
}

QRect MapPainting::CellRectAt(MapCell cell, QPoint scroll) const
{
    const auto column = std::size_t(cell.column);
    return {row_heading_width_ + column_left_[column] - scroll.x(),
            heading_height_ + cell.row * row_height_ - scroll.y(),
            column_left_[column + 1] - column_left_[column], row_height_};
}

QRect MapPainting::ColumnHeadingRectAt(int column, QPoint scroll) const
{
    const QRect cell = CellRectAt({0, column}, scroll);
    return {cell.left(), 0, cell.width(), heading_height_};
}

QRect MapPainting::RowHeadingRectAt(int row, QPoint scroll) const
{
    return {0, heading_height_ + row * row_height_ - scroll.y(), row_heading_width_ - 4,
            row_height_};
}

QRect MapPainting::LegendRectIn(QSize area) const
{
    return {QPoint(area.width() - LegendBand() + 8, 0), LegendSize()};
}

std::optional<MapCell> MapPainting::CellAt(QPoint point, QSize area, QPoint scroll) const
{
    if (!CellsArea(area).contains(point)) {
        return std::nullopt;
    }
    const QPoint in_map = point - QPoint(row_heading_width_, heading_height_) + scroll;
    const int row = in_map.y() / row_height_;
    if (row >= map_.rows || in_map.x() >= column_left_.back()) {
        return std::nullopt;
    }
    const auto right = std::upper_bound(column_left_.begin(), column_left_.end(), in_map.x());
    return MapCell{row, int(right - column_left_.begin()) - 1};
}

QImage MapPainting::Picture(const QStringList& caption, const QFont& font,
                            const MapColours& colours) const
{
    const QFontMetrics metrics(font);
    const QSize area = WholeSize();
    int caption_width = 0;
    for (const QString& line : caption) {
        caption_width = std::max(caption_width, metrics.horizontalAdvance(line) + 8);
    }
    const int caption_height = caption.isEmpty() ? 0 : int(caption.size()) * metrics.height() + 8;
    QImage picture(std::max(area.width(), caption_width), area.height() + caption_height,
                   QImage::Format_RGB32);
    picture.fill(colours.band);
    QPainter painter(&picture);
    painter.setFont(font);
    painter.setPen(colours.text);
    for (int line = 0; line < int(caption.size()); ++line) {
        painter.drawText(
            QRect(4, 4 + line * metrics.height(), picture.width() - 8, metrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter, caption[line]);
    }
    painter.translate(0, caption_height);
    painter.fillRect(QRect(QPoint(), area), colours.base);
    Draw(painter, area, {}, QRect(QPoint(), area), std::nullopt, colours);
    return picture;
}

void MapPainting::Draw(QPainter& painter, QSize area, QPoint scroll, const QRect& exposed,
                       std::optional<MapCell> current, const MapColours& colours) const
{
    const int legend_band = LegendBand();
    const QRect cells = CellsArea(area);
    // Only the rows and columns exposed: a long map paints a screenful.
    const QRect shown = cells & exposed;
    const int first_row = std::max(0, (shown.top() - heading_height_ + scroll.y()) / row_height_);
    const int last_row =
        std::min(map_.rows - 1, (shown.bottom() - heading_height_ + scroll.y()) / row_height_);
    const auto column_at = [&](int x) {
        const auto right = std::upper_bound(column_left_.begin(), column_left_.end(),
                                            x - row_heading_width_ + scroll.x());
        return std::clamp(int(right - column_left_.begin()) - 1, 0, std::max(0, Columns() - 1));
    };
    const int first_column = column_at(shown.left());
    const int last_column = std::min(Columns() - 1, column_at(shown.right()));

    painter.save();
    painter.setClipRect(shown);
    for (int row = first_row; !shown.isEmpty() && row <= last_row; ++row) {
        for (int column = first_column; column <= last_column; ++column) {
            const QRect at = CellRectAt({row, column}, scroll);
            painter.fillRect(at, colours.scale(Share({row, column})));
            painter.setPen(colours.lines);
            painter.drawRect(at.adjusted(0, 0, -1, -1));
        }
        if (map_.offset_of(row) == 0) {
            // The fired record's row underlined.
            const int under = heading_height_ + (row + 1) * row_height_ - scroll.y();
            painter.setPen(QPen(colours.text, 2));
            painter.drawLine(row_heading_width_ - scroll.x(), under,
                             row_heading_width_ + column_left_.back() - scroll.x(), under);
        }
    }
    if (current) {
        painter.setPen(QPen(colours.highlight, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(CellRectAt(*current, scroll).adjusted(1, 1, -1, -1));
    }
    painter.restore();

    // The columns' headings along the top, over the cells' columns.
    painter.fillRect(QRect(0, 0, area.width(), heading_height_), colours.band);
    painter.save();
    painter.setClipRect(QRect(cells.left(), 0, cells.width(), heading_height_));
    painter.setPen(colours.text);
    for (int column = first_column; column <= last_column; ++column) {
        painter.drawText(ColumnHeadingRectAt(column, scroll), Qt::AlignCenter,
                         ColumnHeading(column));
    }
    painter.restore();

    // The offsets down the left, beside the cells' rows.
    painter.fillRect(QRect(0, heading_height_, row_heading_width_, cells.height()), colours.band);
    painter.save();
    painter.setClipRect(QRect(0, cells.top(), row_heading_width_, cells.height()));
    painter.setPen(colours.text);
    for (int row = first_row; row <= last_row; ++row) {
        painter.drawText(RowHeadingRectAt(row, scroll), Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromStdString(offset_text(map_.offset_of(row))));
    }
    painter.restore();

    // The legend on the right: swatches from none to every capture differing.
    const QRect legend = LegendRectIn(area);
    const int legend_left = legend.left();
    painter.fillRect(QRect(area.width() - legend_band, 0, legend_band, area.height()),
                     colours.band);
    painter.setPen(colours.text);
    painter.drawText(QRect(legend_left, 0, legend_width_, heading_height_),
                     Qt::AlignLeft | Qt::AlignVCenter, legend_title_);
    const int most = MostDiffering();
    std::vector<int> steps{0};
    const int swatches = std::min(most, 5);
    for (int step = 1; step <= swatches; ++step) {
        steps.push_back(int(std::lround(double(most) * step / swatches)));
    }
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const int top = heading_height_ + int(i) * row_height_;
        const QRect swatch(legend_left, top + 1, row_height_ - 2, row_height_ - 2);
        painter.fillRect(swatch, colours.scale(double(steps[i]) / most));
        painter.setPen(colours.lines);
        painter.drawRect(swatch);
        painter.setPen(colours.text);
        painter.drawText(QRect(swatch.right() + 6, top, legend_width_, row_height_),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::number(steps[i]));
    }
}

}  // namespace quillon
