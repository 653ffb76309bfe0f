#include "VariationMapView.h"

#include "ColumnWords.h"
#include "LogAnalysis.h"
#include "LogTimeline.h"
#include "MarkColours.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

// one for a count of 1, else many with the count for its %1.
QString counted(int count, const QString& one, const QString& many)
{
    return count == 1 ? one : QString(many).arg(count);
}

QString map_name()
{
    return VariationMapView::tr("Variation map");
}

QString map_description(const quillon::VariationMap& map)
{
    const bool with_fields = map.columns.size() > quillon::kRecordBytes;
    if (map.rows == 0) {
        return VariationMapView::tr("No capture with a fired record to map");
    }
    const QString first = QString::fromStdString(quillon::offset_text(map.first_offset));
    const QString last = QString::fromStdString(quillon::offset_text(map.offset_of(map.rows - 1)));
    const QString mapped = counted(map.captures_mapped, VariationMapView::tr("1 capture"),
                                   VariationMapView::tr("%1 captures"));
    return (with_fields ? VariationMapView::tr(
                              "How many captures differ from the reference at each offset from "
                              "the fired record (rows, %1 to %2) in each byte position and field "
                              "(columns); %3 mapped")
                        : VariationMapView::tr(
                              "How many captures differ from the reference at each offset from "
                              "the fired record (rows, %1 to %2) in each byte position (columns); "
                              "%3 mapped"))
        .arg(first, last, mapped);
}

// What a screen reader reads of the map: its name, its description, and as
// its value the text of the cell chosen.
class AccessibleMap : public QAccessibleWidget {
public:
    explicit AccessibleMap(VariationMapView* map) : QAccessibleWidget(map, QAccessible::Chart) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value) {
            const auto& map = static_cast<const VariationMapView&>(*widget());
            const auto cell = map.CurrentCell();
            return cell ? map.CellText(*cell) : QString();
        }
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* accessible_map(const QString& class_name, QObject* object)
{
    if (class_name == QLatin1String("VariationMapView") && object->isWidgetType()) {
        return new AccessibleMap(static_cast<VariationMapView*>(object));
    }
    return nullptr;
}

}  // namespace

VariationMapView::VariationMapView(QWidget* parent) : QAbstractScrollArea(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(accessible_map);
        return true;
    }();
    (void)installed;
    setAccessibleName(map_name());
    setFocusPolicy(Qt::StrongFocus);
    // A cell's text on hover, whether the window is active or not.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    viewport()->setAttribute(Qt::WA_AlwaysShowToolTips);
    viewport()->setMouseTracking(true);
    SetMap({});
}

void VariationMapView::SetMap(quillon::VariationMap map)
{
    map_ = std::move(map);
    headings_.clear();
    for (const quillon::RecordColumn& column : map_.columns) {
        headings_ << QString::fromStdString(quillon::column_heading(column));
    }
    current_.reset();
    setAccessibleDescription(map_description(map_));
    Layout();
}

int VariationMapView::Columns() const
{
    return int(map_.columns.size());
}

QString VariationMapView::ColumnHeading(int column) const
{
    return headings_[column];
}

void VariationMapView::Layout()
{
    const QFontMetrics metrics = fontMetrics();
    row_height_ = metrics.height() + 2;
    heading_height_ = metrics.height() + 6;
    row_heading_width_ = metrics.horizontalAdvance("T+000") + 8;
    const int byte_width = metrics.horizontalAdvance("RF") + 10;
    column_left_.assign(1, 0);
    for (int column = 0; column < Columns(); ++column) {
        const int width =
            map_.columns[std::size_t(column)].kind == quillon::ColumnKind::Byte
                ? byte_width
                : std::max(byte_width, metrics.horizontalAdvance(ColumnHeading(column)) + 10);
        column_left_.push_back(column_left_.back() + width);
    }
    legend_width_ = std::max(row_height_ + 8 + metrics.horizontalAdvance("0000"),
                             metrics.horizontalAdvance(tr("Captures differing")));
    UpdateScrollBars();
    updateGeometry();
    viewport()->update();
}

QSize VariationMapView::ContentSize() const
{
    return {column_left_.back(), map_.rows * row_height_ + 1};
}

int VariationMapView::LegendBand() const
{
    return legend_width_ + 16;
}

QSize VariationMapView::LegendSize() const
{
    // The legend's title and up to six swatches.
    return {legend_width_, heading_height_ + 6 * row_height_};
}

QSize VariationMapView::sizeHint() const
{
    const QSize content = ContentSize();
    const int frame = 2 * frameWidth();
    return {row_heading_width_ + std::min(content.width(), 40 * row_height_) + LegendBand() + frame,
            heading_height_ +
                std::clamp(content.height(), LegendSize().height(), 30 * row_height_) + frame};
}

QSize VariationMapView::minimumSizeHint() const
{
    // The bands and a few cells.
    const int frame = 2 * frameWidth();
    return {row_heading_width_ + 4 * row_height_ + LegendBand() + frame,
            heading_height_ + 4 * row_height_ + frame};
}

QRect VariationMapView::CellsArea() const
{
    const QSize area = viewport()->size();
    return {row_heading_width_, heading_height_,
            std::max(0, area.width() - row_heading_width_ - LegendBand()),
            std::max(0, area.height() - heading_height_)};
}

QPoint VariationMapView::Scroll() const
{
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void VariationMapView::UpdateScrollBars()
{
    const QSize content = ContentSize();
    const QRect cells = CellsArea();
    horizontalScrollBar()->setRange(0, std::max(0, content.width() - cells.width()));
    horizontalScrollBar()->setPageStep(cells.width());
    horizontalScrollBar()->setSingleStep(std::max(1, row_height_));
    verticalScrollBar()->setRange(0, std::max(0, content.height() - cells.height()));
    verticalScrollBar()->setPageStep(cells.height());
    verticalScrollBar()->setSingleStep(std::max(1, row_height_));
    if (centred_ && centred_->row < map_.rows && centred_->column < Columns()) {
        const auto column = std::size_t(centred_->column);
        horizontalScrollBar()->setValue((column_left_[column] + column_left_[column + 1]) / 2 -
                                        cells.width() / 2);
        verticalScrollBar()->setValue(centred_->row * row_height_ + row_height_ / 2 -
                                      cells.height() / 2);
    }
}

void VariationMapView::CenterOn(Cell cell)
{
    centred_ = cell;
    UpdateScrollBars();
}

void VariationMapView::EnsureVisible(Cell cell)
{
    const QRect cells = CellsArea();
    const QRect shown = CellRect(cell);
    const auto bring = [](QScrollBar& bar, int low, int high, int from, int to) {
        if (low < from) {
            bar.setValue(bar.value() - (from - low));
        } else if (high > to) {
            bar.setValue(bar.value() + std::min(high - to, low - from));
        }
    };
    bring(*horizontalScrollBar(), shown.left(), shown.right(), cells.left(), cells.right());
    bring(*verticalScrollBar(), shown.top(), shown.bottom(), cells.top(), cells.bottom());
}

QString VariationMapView::CellText(Cell cell) const
{
    const QString where = column_label(map_.columns[std::size_t(cell.column)]);
    const quillon::VariationCell& counts = map_.cell(cell);
    return QString("%1, %2: %3, %4")
        .arg(QString::fromStdString(quillon::offset_text(map_.offset_of(cell.row))), where,
             counted(counts.differing, tr("1 capture differs"), tr("%1 captures differ")),
             counted(counts.distinct, tr("1 distinct value"), tr("%1 distinct values")));
}

int VariationMapView::MostDiffering() const
{
    return std::max(1, map_.captures_mapped - 1);
}

QColor VariationMapView::CellColor(Cell cell) const
{
    // The base for none; every capture differing strongest (MarkColours).
    return scale_colour(palette(), double(map_.cell(cell).differing) / MostDiffering());
}

QRect VariationMapView::CellRectAt(Cell cell, QPoint scroll) const
{
    const auto column = std::size_t(cell.column);
    return {row_heading_width_ + column_left_[column] - scroll.x(),
            heading_height_ + cell.row * row_height_ - scroll.y(),
            column_left_[column + 1] - column_left_[column], row_height_};
}

QRect VariationMapView::ColumnHeadingRectAt(int column, QPoint scroll) const
{
    const QRect cell = CellRectAt({0, column}, scroll);
    return {cell.left(), 0, cell.width(), heading_height_};
}

QRect VariationMapView::RowHeadingRectAt(int row, QPoint scroll) const
{
    return {0, heading_height_ + row * row_height_ - scroll.y(), row_heading_width_ - 4,
            row_height_};
}

QRect VariationMapView::LegendRectIn(QSize area) const
{
    return {QPoint(area.width() - LegendBand() + 8, 0), LegendSize()};
}

QRect VariationMapView::CellRect(Cell cell) const
{
    return CellRectAt(cell, Scroll());
}

QRect VariationMapView::ColumnHeadingRect(int column) const
{
    return ColumnHeadingRectAt(column, Scroll());
}

QRect VariationMapView::RowHeadingRect(int row) const
{
    return RowHeadingRectAt(row, Scroll());
}

QRect VariationMapView::LegendRect() const
{
    return LegendRectIn(viewport()->size());
}

std::optional<VariationMapView::Cell> VariationMapView::CellAt(QPoint point) const
{
    if (!CellsArea().contains(point)) {
        return std::nullopt;
    }
    const QPoint in_map = point - QPoint(row_heading_width_, heading_height_) + Scroll();
    const int row = in_map.y() / row_height_;
    if (row >= map_.rows || in_map.x() >= column_left_.back()) {
        return std::nullopt;
    }
    const auto right = std::upper_bound(column_left_.begin(), column_left_.end(), in_map.x());
    return Cell{row, int(right - column_left_.begin()) - 1};
}

void VariationMapView::SetCurrentCell(Cell cell)
{
    if (cell.row < 0 || cell.row >= map_.rows || cell.column < 0 || cell.column >= Columns()) {
        return;
    }
    current_ = cell;
    EnsureVisible(cell);
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, CellText(cell));
        QAccessible::updateAccessibility(&changed);
    }
    emit cellChosen(cell.row, cell.column);
}

QImage VariationMapView::Picture(const QStringList& caption) const
{
    const QFontMetrics metrics = fontMetrics();
    const QSize content = ContentSize();
    const QSize area(row_heading_width_ + content.width() + LegendBand(),
                     std::max(heading_height_ + content.height(), LegendSize().height()) + 1);
    int caption_width = 0;
    for (const QString& line : caption) {
        caption_width = std::max(caption_width, metrics.horizontalAdvance(line) + 8);
    }
    const int caption_height = caption.isEmpty() ? 0 : int(caption.size()) * metrics.height() + 8;
    QImage picture(std::max(area.width(), caption_width), area.height() + caption_height,
                   QImage::Format_RGB32);
    picture.fill(palette().color(QPalette::Window));
    QPainter painter(&picture);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    for (int line = 0; line < int(caption.size()); ++line) {
        painter.drawText(
            QRect(4, 4 + line * metrics.height(), picture.width() - 8, metrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter, caption[line]);
    }
    painter.translate(0, caption_height);
    painter.fillRect(QRect(QPoint(), area), palette().color(QPalette::Base));
    Draw(painter, area, {}, QRect(QPoint(), area));
    return picture;
}

void VariationMapView::paintEvent(QPaintEvent* event)
{
    // Shown with its size: the view is scrolled where the user takes it.
    centred_.reset();
    QPainter painter(viewport());
    Draw(painter, viewport()->size(), Scroll(), event->rect());
}

void VariationMapView::Draw(QPainter& painter, QSize area, QPoint scroll,
                            const QRect& exposed) const
{
    const QColor lines = palette().color(QPalette::Mid);
    const QColor text = palette().color(QPalette::WindowText);
    const QColor band = palette().color(QPalette::Window);
    const int legend_band = LegendBand();
    const QRect cells(row_heading_width_, heading_height_,
                      std::max(0, area.width() - row_heading_width_ - legend_band),
                      std::max(0, area.height() - heading_height_));
    // Where a cell's row and column are drawn, scrolled.
    const auto cell_rect = [&](int row, std::size_t column) {
        return CellRectAt({row, int(column)}, scroll);
    };
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
            const QRect at = cell_rect(row, std::size_t(column));
            painter.fillRect(at, CellColor({row, column}));
            painter.setPen(lines);
            painter.drawRect(at.adjusted(0, 0, -1, -1));
        }
        if (map_.offset_of(row) == 0) {
            // The fired record's row underlined.
            const int under = heading_height_ + (row + 1) * row_height_ - scroll.y();
            painter.setPen(QPen(text, 2));
            painter.drawLine(row_heading_width_ - scroll.x(), under,
                             row_heading_width_ + column_left_.back() - scroll.x(), under);
        }
    }
    if (current_) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(
            cell_rect(current_->row, std::size_t(current_->column)).adjusted(1, 1, -1, -1));
    }
    painter.restore();

    // The columns' headings along the top, over the cells' columns.
    painter.fillRect(QRect(0, 0, area.width(), heading_height_), band);
    painter.save();
    painter.setClipRect(QRect(cells.left(), 0, cells.width(), heading_height_));
    painter.setPen(text);
    for (int column = first_column; column <= last_column; ++column) {
        painter.drawText(ColumnHeadingRectAt(column, scroll), Qt::AlignCenter,
                         ColumnHeading(column));
    }
    painter.restore();

    // The offsets down the left, beside the cells' rows.
    painter.fillRect(QRect(0, heading_height_, row_heading_width_, cells.height()), band);
    painter.save();
    painter.setClipRect(QRect(0, cells.top(), row_heading_width_, cells.height()));
    painter.setPen(text);
    for (int row = first_row; row <= last_row; ++row) {
        painter.drawText(RowHeadingRectAt(row, scroll), Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromStdString(quillon::offset_text(map_.offset_of(row))));
    }
    painter.restore();

    // The legend on the right: swatches from none to every capture differing.
    const QRect legend = LegendRectIn(area);
    const int legend_left = legend.left();
    painter.fillRect(QRect(area.width() - legend_band, 0, legend_band, area.height()), band);
    painter.setPen(text);
    painter.drawText(QRect(legend_left, 0, legend_width_, heading_height_),
                     Qt::AlignLeft | Qt::AlignVCenter, tr("Captures differing"));
    const int most = MostDiffering();
    std::vector<int> steps{0};
    const int swatches = std::min(most, 5);
    for (int step = 1; step <= swatches; ++step) {
        steps.push_back(int(std::lround(double(most) * step / swatches)));
    }
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const int top = heading_height_ + int(i) * row_height_;
        const QRect swatch(legend_left, top + 1, row_height_ - 2, row_height_ - 2);
        painter.fillRect(swatch, scale_colour(palette(), double(steps[i]) / most));
        painter.setPen(lines);
        painter.drawRect(swatch);
        painter.setPen(text);
        painter.drawText(QRect(swatch.right() + 6, top, legend_width_, row_height_),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::number(steps[i]));
    }
}

void VariationMapView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void VariationMapView::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    // The bands stay; the whole view is drawn anew.
    viewport()->update();
}

bool VariationMapView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (const auto cell = CellAt(help->pos())) {
            QToolTip::showText(help->globalPos(), CellText(*cell), viewport(),
                               CellRect(*cell) & CellsArea());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

bool VariationMapView::event(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        Layout();
    }
    if (event->type() == QEvent::LanguageChange) {
        setAccessibleName(map_name());
        setAccessibleDescription(map_description(map_));
        Layout();
    }
    return QAbstractScrollArea::event(event);
}

void VariationMapView::mousePressEvent(QMouseEvent* event)
{
    if (const auto cell = CellAt(event->position().toPoint())) {
        SetCurrentCell(*cell);
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void VariationMapView::keyPressEvent(QKeyEvent* event)
{
    Cell cell = current_.value_or(Cell{});
    switch (event->key()) {
    case Qt::Key_Up: --cell.row; break;
    case Qt::Key_Down: ++cell.row; break;
    case Qt::Key_Left: --cell.column; break;
    case Qt::Key_Right: ++cell.column; break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    if (!current_) {
        cell = Cell{};  // the first key chooses the first cell
    }
    SetCurrentCell(cell);
}
