// A plot in a window of its own, captioned "FILE - COLUMN - Quillon plot":
// "File" > "Export Picture..." saves what it shows as a PNG file, "Close"
// closes it. And the small dialog that asks which column to plot.
#pragma once

#include "Plot.h"
#include "PlotView.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class QAction;
class QMenu;

class PlotWindow : public QMainWindow {
    Q_OBJECT

public:
    // file: the log's path, which names the caption and the picture's file;
    // column: what is plotted.
    PlotWindow(const QString& file, const QString& column, QWidget* parent = nullptr);

    PlotView& plot() { return *plot_; }
    // Shows a log's column over its records: x the offset from the fired
    // record (the record's number in a log without one), the fired record
    // marked, each point's record and value in its tooltip, the y axis as
    // the plot's scale reads it (bytes, numbers in the field's unit, names).
    void ShowColumnPlot(quillon::ColumnPlot values);
    // A line of a plot of several logs, and the name its legend gives it.
    struct NamedPlot {
        QString name;
        quillon::ColumnPlot plot;
    };
    // Shows the column of several logs, one line each, x and the mark the
    // first's (the others placed on its x already).
    void ShowColumnPlots(std::vector<NamedPlot> plots);
    QAction& export_picture() { return *export_picture_; }

    // Asks for a file name and writes the picture there as PNG.
    void mnuExportPictureClick();

protected:
    void changeEvent(QEvent* event) override;

private:
    // The caption, the menu and the column plot's words in the language
    // now applied.
    void RetranslateUi();
    void ShowColumnPlotWorded();

    QString file_;
    QString column_;
    std::vector<NamedPlot> column_plots_;
    PlotView* plot_;
    QMenu* file_menu_ = nullptr;
    QAction* export_picture_;
    QAction* close_ = nullptr;
};

// Asks which of the columns to plot (run through run_modal); the index
// chosen, nothing when cancelled.
std::optional<int> choose_plot_column(const QStringList& columns, QWidget* parent = nullptr);

// The y axis that reads a plot's values as the engine's scale says: as
// numbers, as bytes, or by a field's names.
PlotAxis axis_of(const quillon::PlotScale& scale);
