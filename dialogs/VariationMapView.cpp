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
    painting_.SetMap(std::move(map));
    current_.reset();
    setAccessibleDescription(map_description(Map()));
    Layout();
}

int VariationMapView::Columns() const
{
    return painting_.Columns();
}

void VariationMapView::Layout()
{
    painting_.Layout(font(), tr("Captures differing"));
    UpdateScrollBars();
    updateGeometry();
    viewport()->update();
}

QSize VariationMapView::sizeHint() const
{
    const QSize content = painting_.ContentSize();
    const int frame = 2 * frameWidth();
    const int row_height = painting_.RowHeight();
    return {painting_.RowHeadingWidth() + std::min(content.width(), 40 * row_height) +
                painting_.LegendBand() + frame,
            painting_.HeadingHeight() +
                std::clamp(content.height(), painting_.LegendSize().height(), 30 * row_height) +
                frame};
}

QSize VariationMapView::minimumSizeHint() const
{
    // The bands and a few cells.
    const int frame = 2 * frameWidth();
    return {
        painting_.RowHeadingWidth() + 4 * painting_.RowHeight() + painting_.LegendBand() + frame,
        painting_.HeadingHeight() + 4 * painting_.RowHeight() + frame};
}

QRect VariationMapView::CellsArea() const
{
    return painting_.CellsArea(viewport()->size());
}

QPoint VariationMapView::Scroll() const
{
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void VariationMapView::UpdateScrollBars()
{
    const QSize content = painting_.ContentSize();
    const QRect cells = CellsArea();
    const int row_height = painting_.RowHeight();
    horizontalScrollBar()->setRange(0, std::max(0, content.width() - cells.width()));
    horizontalScrollBar()->setPageStep(cells.width());
    horizontalScrollBar()->setSingleStep(std::max(1, row_height));
    verticalScrollBar()->setRange(0, std::max(0, content.height() - cells.height()));
    verticalScrollBar()->setPageStep(cells.height());
    verticalScrollBar()->setSingleStep(std::max(1, row_height));
    if (centred_ && centred_->row < Map().rows && centred_->column < Columns()) {
        const auto column = std::size_t(centred_->column);
        const std::vector<int>& left = painting_.ColumnLeft();
        horizontalScrollBar()->setValue((left[column] + left[column + 1]) / 2 - cells.width() / 2);
        verticalScrollBar()->setValue(centred_->row * row_height + row_height / 2 -
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
    const QString where = column_label(Map().columns[std::size_t(cell.column)]);
    const quillon::VariationCell& counts = Map().cell(cell);
    return QString("%1, %2: %3, %4")
        .arg(QString::fromStdString(quillon::offset_text(Map().offset_of(cell.row))), where,
             counted(counts.differing, tr("1 capture differs"), tr("%1 captures differ")),
             counted(counts.distinct, tr("1 distinct value"), tr("%1 distinct values")));
}

QColor VariationMapView::CellColor(Cell cell) const
{
    // The base for none; every capture differing strongest (MarkColours).
    return scale_colour(palette(), painting_.Share(cell));
}

quillon::MapColours VariationMapView::Colours() const
{
    const QPalette colours = palette();
    return {colours.color(QPalette::Base),
            colours.color(QPalette::Window),
            colours.color(QPalette::WindowText),
            colours.color(QPalette::Mid),
            colours.color(QPalette::Highlight),
            [colours](double share) { return scale_colour(colours, share); }};
}

QRect VariationMapView::CellRect(Cell cell) const
{
    return painting_.CellRectAt(cell, Scroll());
}

QRect VariationMapView::ColumnHeadingRect(int column) const
{
    return painting_.ColumnHeadingRectAt(column, Scroll());
}

QRect VariationMapView::RowHeadingRect(int row) const
{
    return painting_.RowHeadingRectAt(row, Scroll());
}

QRect VariationMapView::LegendRect() const
{
    return painting_.LegendRectIn(viewport()->size());
}

std::optional<VariationMapView::Cell> VariationMapView::CellAt(QPoint point) const
{
    return painting_.CellAt(point, viewport()->size(), Scroll());
}

void VariationMapView::SetCurrentCell(Cell cell)
{
    if (cell.row < 0 || cell.row >= Map().rows || cell.column < 0 || cell.column >= Columns()) {
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
    return painting_.Picture(caption, font(), Colours());
}

void VariationMapView::paintEvent(QPaintEvent* event)
{
    // Shown with its size: the view is scrolled where the user takes it.
    centred_.reset();
    QPainter painter(viewport());
    painting_.Draw(painter, viewport()->size(), Scroll(), event->rect(), current_, Colours());
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
        setAccessibleDescription(map_description(Map()));
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
