#include "ByteCountStrip.h"

#include "LogAnalysis.h"
#include "MarkColours.h"

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

QString strip_name()
{
    return ByteCountStrip::tr("Differing records per byte");
}

}  // namespace

ByteCountStrip::ByteCountStrip(QWidget* parent) : QWidget(parent)
{
    setAccessibleName(strip_name());
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
    return differing.isEmpty() ? tr("No byte differs") : differing.join(tr("; "));
}

QString ByteCountStrip::CellToolTip(int cell, int count)
{
    const QString where = position(cell, quillon::PositionSpelling::Condition);
    return count == 1 ? tr("%1: 1 record differs").arg(where)
                      : tr("%1: %2 records differ").arg(where).arg(count);
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
    const int most = *std::max_element(counts_.begin(), counts_.end());
    // The base for none; the most differing cell strongest (MarkColours).
    return scale_colour(palette(), most == 0 ? 0.0 : double(Count(cell)) / most);
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
    if (event->type() == QEvent::LanguageChange) {
        setAccessibleName(strip_name());
        setAccessibleDescription(CountsText());
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
