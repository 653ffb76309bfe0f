// The differing records of a comparison per byte position, as a strip of 32
// small cells: R0..RF then S0..SF, each with its count, coloured by it (the
// more, the stronger), its byte's name and count in its tooltip.
#pragma once

#include <QWidget>

#include <array>

class ByteCountStrip : public QWidget {
    Q_OBJECT

public:
    static constexpr int kCells = 32;

    explicit ByteCountStrip(QWidget* parent = nullptr);

    void SetCounts(const std::array<int, kCells>& counts);
    int Count(int cell) const { return counts_[std::size_t(cell)]; }
    QRect CellRect(int cell) const;
    // The cell's colour: the window's base for none, then stronger with the
    // count up to the largest count's.
    QColor CellColor(int cell) const;
    // "Send[5]: 2 records differ".
    static QString CellToolTip(int cell, int count);
    // The cell under a point of the widget, -1 for none.
    int CellAt(const QPoint& point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int CellWidth() const;
    // Every count in one sentence, for a screen reader.
    QString CountsText() const;

    std::array<int, kCells> counts_{};
};
