#include "ByteCountStrip.h"

#include "LogAnalysis.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

QString position(int cell, quillon::PositionSpelling spelling)
{
    return QString::fromStdString(quillon::byte_position(std::size_t(cell), spelling));
}

// The cell of the most differing records; cells of fewer fade towards the base.
const QColor kMostDiffering(230, 90, 40);

QColor mixed(const QColor& from, const QColor& to, double share)
{
    const auto channel = [share](int a, int b) { return int(std::lround(a + (b - a) * share)); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

}  // namespace

ByteCountStrip::ByteCountStrip(QWidget* parent) : QWidget(parent)
{
    setAccessibleName("Differing records per byte");
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ByteCountStrip::SetCounts(const std::array<int, kCells>& counts)
{
    counts_ = counts;
    setAccessibleDescription(CountsText());
    update();
}

QString ByteCountStrip::CountsText() const
{
    QStringList differing;
    for (int cell = 0; cell < kCells; ++cell) {
        if (Count(cell) != 0) {
            differing << CellToolTip(cell, Count(cell));
        }
    }
    return differing.isEmpty() ? QString("No byte differs") : differing.join("; ");
}

QString ByteCountStrip::CellToolTip(int cell, int count)
{
    return position(cell, quillon::PositionSpelling::Condition) + ": " +
           (count == 1 ? QString("1 record differs") : QString("%1 records differ").arg(count));
}

int ByteCountStrip::CellWidth() const
{
    return std::max(fontMetrics().horizontalAdvance("0000") + 6, width() / kCells);
}

QRect ByteCountStrip::CellRect(int cell) const
{
    const int cell_width = CellWidth();
    return QRect(cell * cell_width, 0, cell_width - 1, height() - 1);
}

int ByteCountStrip::CellAt(const QPoint& point) const
{
    const int cell = point.x() / CellWidth();
    return point.x() >= 0 && cell < kCells && rect().contains(point) ? cell : -1;
}

QColor ByteCountStrip::CellColor(int cell) const
{
    const QColor base = palette().color(QPalette::Base);
    const int most = *std::max_element(counts_.begin(), counts_.end());
    if (Count(cell) == 0 || most == 0) {
        return base;
    }
    // The fewest still shows: a third of the way at least.
    return mixed(base, kMostDiffering, 1.0 / 3 + 2.0 / 3 * Count(cell) / most);
}

QSize ByteCountStrip::sizeHint() const
{
    return minimumSizeHint();
}

QSize ByteCountStrip::minimumSizeHint() const
{
    // A line for the heading and one for the count.
    return {kCells * (fontMetrics().horizontalAdvance("0000") + 6), 2 * fontMetrics().height() + 4};
}

bool ByteCountStrip::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int cell = CellAt(help->pos());
        if (cell < 0) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), CellToolTip(cell, Count(cell)), this,
                               CellRect(cell));
        }
        return true;
    }
    return QWidget::event(event);
}

void ByteCountStrip::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    const QColor lines = palette().color(QPalette::Mid);
    const QColor text = palette().color(QPalette::Text);
    for (int cell = 0; cell < kCells; ++cell) {
        const QRect area = CellRect(cell);
        painter.fillRect(area, CellColor(cell));
        painter.setPen(lines);
        painter.drawRect(area);
        painter.setPen(text);
        const QRect heading = area.adjusted(0, 1, 0, -area.height() / 2);
        const QRect count = area.adjusted(0, area.height() / 2, 0, -1);
        painter.drawText(heading, Qt::AlignCenter,
                         position(cell, quillon::PositionSpelling::Heading));
        painter.drawText(count, Qt::AlignCenter, QString::number(Count(cell)));
    }
}
