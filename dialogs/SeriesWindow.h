// A series of captures (a night's Autolog files) in one window: a table of
// the captures held against a reference capture, the files that could not
// be read, and the variation map around the fired records; a cell of the
// map lists and plots each capture's value there, a capture opens in a log
// browser compared with the reference.
#pragma once

#include "Fields.h"
#include "FileDrops.h"
#include "IniFile.h"
#include "Series.h"
#include "VariationMapView.h"

#include <QMainWindow>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class CaptureValuesModel;
class QAction;
class QMenu;
class PlotView;
class QLabel;
class QListWidget;
class QPushButton;
class QScrollArea;
class QSortFilterProxyModel;
class QTableView;
class SeriesTableModel;
class TfrmLogBrowser;

class TfrmSeries : public QMainWindow {
    Q_OBJECT

public:
    // folder: where the captures are, for the caption; settings_path: where
    // the fields file that the browser read last is remembered.
    TfrmSeries(quillon::Series series, const QString& folder,
               std::string settings_path = quillon::settings_file_path(),
               QWidget* parent = nullptr);
    ~TfrmSeries() override;

    void btnSetReferenceClick();
    void mnuExportPictureClick();

    // Compares every capture with this one and redraws the map.
    void SetReference(std::size_t capture);
    // Lists and plots each capture's value in a cell of the map.
    void ShowCell(int row, int column);
    // What the browsers that the window opens do with files dropped on them.
    void SetLogOpener(quillon::FilesHandler opener) { log_opener_ = std::move(opener); }
    // Opens a capture in a browser, compared with the reference unless it
    // is the reference.
    TfrmLogBrowser* OpenCapture(std::size_t capture);
    // The capture on a row of the table as it is sorted; none for no row.
    std::optional<std::size_t> CaptureOnRow(int row) const;

    const quillon::Series& series() const { return series_; }
    QTableView& CapturesTable() { return *captures_table_; }
    QTableView& ValuesTable() { return *values_table_; }
    VariationMapView& Map() { return *map_; }
    PlotView& Plot() { return *plot_; }
    QListWidget& UnreadableList() { return *unreadable_list_; }
    QPushButton& SetReferenceButton() { return *set_reference_; }

    // The table's columns.
    enum Column {
        kTime,
        kFile,
        kFired,
        kCommand,
        kMeets,
        kDiffering,
        kDifferingMost,
        kReference,
        kColumns
    };

protected:
    void changeEvent(QEvent* event) override;

private:
    void BuildWindow();
    // Every text of the window in the current language; the cell shown
    // worded anew.
    void RetranslateUi();
    // No cell chosen: the prompt, no values, an empty plot.
    void ShowNoCell();
    std::optional<std::size_t> SelectedCapture() const;

    quillon::Series series_;
    std::string settings_path_;
    quillon::FilesHandler log_opener_;
    std::vector<quillon::FieldSpec> fields_;
    SeriesTableModel* captures_model_;
    QSortFilterProxyModel* sorted_;
    CaptureValuesModel* values_model_;
    QString folder_;
    QTableView* captures_table_ = nullptr;
    QTableView* values_table_ = nullptr;
    QPushButton* set_reference_ = nullptr;
    QLabel* unreadable_label_ = nullptr;
    QListWidget* unreadable_list_ = nullptr;
    VariationMapView* map_ = nullptr;
    QScrollArea* map_area_ = nullptr;
    QLabel* cell_label_ = nullptr;
    PlotView* plot_ = nullptr;
    std::optional<VariationMapView::Cell> shown_cell_;
    QMenu* file_menu_ = nullptr;
    QAction* export_picture_ = nullptr;
    QAction* close_ = nullptr;
    QMenu* capture_menu_ = nullptr;
    QAction* set_reference_action_ = nullptr;
    QAction* open_capture_ = nullptr;
};

// Reads the files and folders named as a series and opens its window,
// shown, deleting itself when closed; nothing (the reasons shown) when no
// capture reads.
TfrmSeries* open_series(const std::vector<std::string>& files_or_folders,
                        const std::string& settings_path = quillon::settings_file_path());
