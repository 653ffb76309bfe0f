// A plot in a window of its own, captioned "FILE - COLUMN - Quillon plot":
// "File" > "Export Picture..." saves what it shows as a PNG file, "Close"
// closes it. And the small dialog that asks which column to plot.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <optional>

class PlotView;
class QAction;

class PlotWindow : public QMainWindow {
    Q_OBJECT

public:
    // file: the log's path, which names the caption and the picture's file;
    // column: what is plotted.
    PlotWindow(const QString& file, const QString& column, QWidget* parent = nullptr);

    PlotView& plot() { return *plot_; }
    QAction& export_picture() { return *export_picture_; }

    // Asks for a file name and writes the picture there as PNG.
    void mnuExportPictureClick();

private:
    QString file_;
    QString column_;
    PlotView* plot_;
    QAction* export_picture_;
};

// Asks which of the columns to plot (run through run_modal); the index
// chosen, nothing when cancelled.
std::optional<int> choose_plot_column(const QStringList& columns, QWidget* parent = nullptr);
