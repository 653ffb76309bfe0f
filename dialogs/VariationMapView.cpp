#include "VariationMapView.h"

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

VariationMapView::VariationMapView(QWidget* parent) : QWidget(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(accessible_map);
        return true;
    }();
    (void)installed;
    setAccessibleName(map_name());
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
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
    column_left_.assign(1, row_heading_width_);
    for (int column = 0; column < Columns(); ++column) {
        const int width =
            map_.columns[std::size_t(column)].kind == quillon::ColumnKind::Byte
                ? byte_width
                : std::max(byte_width, metrics.horizontalAdvance(ColumnHeading(column)) + 10);
        column_left_.push_back(column_left_.back() + width);
    }
    legend_left_ = column_left_.back() + 16;
    legend_width_ =
        row_height_ + 8 + metrics.horizontalAdvance(tr("Captures differing") + ": 0000");
    updateGeometry();
    update();
}

QSize VariationMapView::sizeHint() const
{
    // The legend's title and up to six swatches.
    const int legend_height = heading_height_ + 6 * row_height_;
    return {legend_left_ + legend_width_,
            heading_height_ + std::max(map_.rows * row_height_, legend_height) + 1};
}

QString VariationMapView::CellText(Cell cell) const
{
    const QString where = QString::fromStdString(map_.columns[std::size_t(cell.column)].label);
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

QRect VariationMapView::CellRect(Cell cell) const
{
    const auto column = std::size_t(cell.column);
    return QRect(column_left_[column], heading_height_ + cell.row * row_height_,
                 column_left_[column + 1] - column_left_[column], row_height_);
}

std::optional<VariationMapView::Cell> VariationMapView::CellAt(QPoint point) const
{
    if (point.y() < heading_height_ || point.x() < column_left_.front() ||
        point.x() >= column_left_.back()) {
        return std::nullopt;
    }
    const int row = (point.y() - heading_height_) / row_height_;
    if (row >= map_.rows) {
        return std::nullopt;
    }
    const auto right = std::upper_bound(column_left_.begin(), column_left_.end(), point.x());
    return Cell{row, int(right - column_left_.begin()) - 1};
}

void VariationMapView::SetCurrentCell(Cell cell)
{
    if (cell.row < 0 || cell.row >= map_.rows || cell.column < 0 || cell.column >= Columns()) {
        return;
    }
    if (current_) {
        update(CellRect(*current_).adjusted(-2, -2, 2, 2));
    }
    current_ = cell;
    update(CellRect(cell).adjusted(-2, -2, 2, 2));
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, CellText(cell));
        QAccessible::updateAccessibility(&changed);
    }
    emit cellChosen(cell.row, cell.column);
}

QImage VariationMapView::Picture() const
{
    QImage picture(sizeHint(), QImage::Format_RGB32);
    picture.fill(palette().color(QPalette::Window));
    QPainter painter(&picture);
    painter.setFont(font());
    Draw(painter, picture.rect());
    return picture;
}

void VariationMapView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    Draw(painter, event->rect());
}

void VariationMapView::Draw(QPainter& painter, const QRect& exposed) const
{
    const QColor lines = palette().color(QPalette::Mid);
    const QColor text = palette().color(QPalette::WindowText);
    painter.setPen(text);
    for (int column = 0; column < Columns(); ++column) {
        const auto left = std::size_t(column);
        painter.drawText(QRect(column_left_[left], 0, column_left_[left + 1] - column_left_[left],
                               heading_height_),
                         Qt::AlignCenter, ColumnHeading(column));
    }
    // Only the rows exposed: a long map paints a screenful.
    const int first = std::max(0, (exposed.top() - heading_height_) / row_height_);
    const int last = std::min(map_.rows - 1, (exposed.bottom() - heading_height_) / row_height_);
    for (int row = first; row <= last; ++row) {
        const int top = heading_height_ + row * row_height_;
        painter.setPen(text);
        painter.drawText(QRect(0, top, row_heading_width_ - 4, row_height_),
                         Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromStdString(quillon::offset_text(map_.offset_of(row))));
        for (int column = 0; column < Columns(); ++column) {
            const QRect area = CellRect({row, column});
            painter.fillRect(area, CellColor({row, column}));
            painter.setPen(lines);
            painter.drawRect(area.adjusted(0, 0, -1, -1));
        }
        if (map_.offset_of(row) == 0) {
            // The fired record's row underlined.
            painter.setPen(QPen(text, 2));
            painter.drawLine(column_left_.front(), top + row_height_, column_left_.back(),
                             top + row_height_);
        }
    }
    if (current_) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(CellRect(*current_).adjusted(1, 1, -1, -1));
    }
    // The legend: swatches from none to every capture differing.
    painter.setPen(text);
    painter.drawText(QRect(legend_left_, 0, legend_width_, heading_height_),
                     Qt::AlignLeft | Qt::AlignVCenter, tr("Captures differing"));
    const int most = MostDiffering();
    std::vector<int> steps{0};
    const int swatches = std::min(most, 5);
    for (int step = 1; step <= swatches; ++step) {
        steps.push_back(int(std::lround(double(most) * step / swatches)));
    }
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const int top = heading_height_ + int(i) * row_height_;
        const QRect swatch(legend_left_, top + 1, row_height_ - 2, row_height_ - 2);
        painter.fillRect(swatch, scale_colour(palette(), double(steps[i]) / most));
        painter.setPen(lines);
        painter.drawRect(swatch);
        painter.setPen(text);
        painter.drawText(QRect(swatch.right() + 6, top, legend_width_, row_height_),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::number(steps[i]));
    }
}

bool VariationMapView::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (const auto cell = CellAt(help->pos())) {
            QToolTip::showText(help->globalPos(), CellText(*cell), this, CellRect(*cell));
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    if (event->type() == QEvent::FontChange) {
        Layout();
    }
    if (event->type() == QEvent::LanguageChange) {
        setAccessibleName(map_name());
        setAccessibleDescription(map_description(map_));
        Layout();
    }
    return QWidget::event(event);
}

void VariationMapView::mousePressEvent(QMouseEvent* event)
{
    if (const auto cell = CellAt(event->position().toPoint())) {
        SetCurrentCell(*cell);
    }
    QWidget::mousePressEvent(event);
}

void VariationMapView::keyPressEvent(QKeyEvent* event)
{
    Cell cell = current_.value_or(Cell{});
    switch (event->key()) {
    case Qt::Key_Up: --cell.row; break;
    case Qt::Key_Down: ++cell.row; break;
    case Qt::Key_Left: --cell.column; break;
    case Qt::Key_Right: ++cell.column; break;
    default: QWidget::keyPressEvent(event); return;
    }
    if (!current_) {
        cell = Cell{};  // the first key chooses the first cell
    }
    SetCurrentCell(cell);
}
