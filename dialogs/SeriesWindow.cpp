#include "SeriesWindow.h"

#include "AtomicFile.h"
#include "GuardedHandlers.h"
#include "Keyboard.h"
#include "LogBrowser.h"
#include "MessageBoxes.h"
#include "Messages.h"
#include "PlotView.h"
#include "Seams.h"
#include "Settings.h"
#include "VariationMapView.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString text_of(const std::string& text)
{
    return QString::fromStdString(text);
}

QString file_name(const std::string& path)
{
    return QFileInfo(QFile::decodeName(path.c_str())).fileName();
}

QString time_text(std::int64_t time)
{
    return text_of(quillon::capture_time_text(time));
}

// "Send 3 (12), Recv 2 (4)": the byte positions differing in most records.
QString most_differing(const quillon::LogComparison& comparison)
{
    QStringList shown;
    for (const auto& [k, records] : quillon::most_differing_positions(comparison)) {
        shown << QString("%1 (%2)")
                     .arg(text_of(quillon::byte_position(k, quillon::PositionSpelling::Label)))
                     .arg(records);
    }
    return shown.join(", ");
}

std::string local_name(const QString& name)
{
    return QFile::encodeName(name).toStdString();
}

}  // namespace

// The captures of a series, one a row, in the order they were captured.
// Qt::UserRole holds what a column sorts by.
class SeriesTableModel : public QAbstractTableModel {
public:
    explicit SeriesTableModel(const quillon::Series& series) : series_(series) {}

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(series_.captures.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : TfrmSeries::kColumns;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char* const headings[] = {QT_TRANSLATE_NOOP("TfrmSeries", "Time"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "File"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Fired record"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Command"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Meets"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Records differing"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Differing most"),
                                               QT_TRANSLATE_NOOP("TfrmSeries", "Reference")};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < TfrmSeries::kColumns) {
            return TfrmSeries::tr(headings[section]);
        }
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid()) {
            return {};
        }
        const auto row = std::size_t(index.row());
        const quillon::SeriesCapture& capture = series_.captures[row];
        const bool reference = row == series_.reference;
        if (role == Qt::ToolTipRole && index.column() == TfrmSeries::kFile) {
            return QDir::toNativeSeparators(QFile::decodeName(capture.file.c_str()));
        }
        if (role == Qt::UserRole) {
            return SortKey(row, index.column());
        }
        if (role != Qt::DisplayRole) {
            return {};
        }
        switch (index.column()) {
        case TfrmSeries::kTime: return time_text(capture.time);
        case TfrmSeries::kFile: return file_name(capture.file);
        case TfrmSeries::kFired:
            return capture.timeline.fired ? QString::number(*capture.timeline.fired)
                                          : TfrmSeries::tr("none", "no fired record");
        case TfrmSeries::kCommand: return text_of(quillon::fired_command_text(capture));
        case TfrmSeries::kMeets: return capture.meets;
        case TfrmSeries::kDiffering:
            return reference ? QString()
                             : QString::number(capture.against_reference.records_differing);
        case TfrmSeries::kDifferingMost:
            return reference ? QString() : most_differing(capture.against_reference);
        case TfrmSeries::kReference:
            return reference ? TfrmSeries::tr("reference", "the reference capture") : QString();
        default: return {};
        }
    }

    // Each cell and heading read again: the reference or the language has
    // changed.
    void Refresh()
    {
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
        if (rowCount() > 0) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        }
    }

private:
    QVariant SortKey(std::size_t row, int column) const
    {
        const quillon::SeriesCapture& capture = series_.captures[row];
        const bool reference = row == series_.reference;
        switch (column) {
        case TfrmSeries::kFile: return file_name(capture.file);
        case TfrmSeries::kFired: return capture.timeline.fired.value_or(-1);
        case TfrmSeries::kCommand: return capture.command ? int(*capture.command) : -1;
        case TfrmSeries::kMeets: return capture.meets;
        case TfrmSeries::kDiffering:
            return reference ? -1 : capture.against_reference.records_differing;
        case TfrmSeries::kDifferingMost: {
            const auto positions = quillon::most_differing_positions(capture.against_reference);
            return reference || positions.empty() ? -1 : positions.front().second;
        }
        case TfrmSeries::kReference: return reference ? 0 : 1;
        default: return qulonglong(row);  // the order captured
        }
    }

    const quillon::Series& series_;
};

// Each capture's value in one cell of the variation map.
class CaptureValuesModel : public QAbstractTableModel {
public:
    explicit CaptureValuesModel(const quillon::Series& series) : series_(series) {}

    void SetValues(std::vector<quillon::CaptureValue> values)
    {
        beginResetModel();
        values_ = std::move(values);
        endResetModel();
    }
    const std::vector<quillon::CaptureValue>& Values() const { return values_; }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : int(values_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : 3;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
            switch (section) {
            case 0: return TfrmSeries::tr("Time");
            case 1: return TfrmSeries::tr("File");
            case 2: return TfrmSeries::tr("Value");
            default: break;
            }
        }
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || role != Qt::DisplayRole) {
            return {};
        }
        const quillon::CaptureValue& value = values_[std::size_t(index.row())];
        const quillon::SeriesCapture& capture = series_.captures[value.capture];
        switch (index.column()) {
        case 0: return time_text(capture.time);
        case 1: return file_name(capture.file);
        default: return text_of(value.text);
        }
    }

private:
    const quillon::Series& series_;
    std::vector<quillon::CaptureValue> values_;
};

TfrmSeries::TfrmSeries(quillon::Series series, const QString& folder, std::string settings_path,
                       QWidget* parent)
    : QMainWindow(parent), series_(std::move(series)), settings_path_(std::move(settings_path)),
      captures_model_(new SeriesTableModel(series_)), sorted_(new QSortFilterProxyModel(this)),
      values_model_(new CaptureValuesModel(series_)), folder_(folder)
{
    captures_model_->setParent(this);
    values_model_->setParent(this);
    // The whole path in the window's file path; the caption names the folder.
    setWindowFilePath(folder);
    // The fields file that the browser read last, when it still reads.
    if (const std::string fields = quillon::read_fields_file_setting(settings_path_);
        !fields.empty()) {
        try {
            fields_ = quillon::read_fields_file(fields).fields;
        } catch (const quillon::LogReadError&) {
        }
    }
    BuildWindow();
    SetReference(series_.reference);
    RetranslateUi();
}

void TfrmSeries::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        RetranslateUi();
    }
    QMainWindow::changeEvent(event);
}

void TfrmSeries::RetranslateUi()
{
    // Named by the folder as a browser is by its file.
    setWindowTitle(tr("%1 - Quillon series").arg(QDir(folder_).dirName()));
    centralWidget()->setAccessibleName(tr("Series"));
    captures_table_->setAccessibleName(tr("Captures"));
    set_reference_->setText(tr("Set as Reference"));
    set_reference_->setAccessibleName(tr("Set as Reference"));
    unreadable_list_->setAccessibleName(tr("Files not read"));
    unreadable_label_->setText(
        series_.unreadable.size() == 1
            ? tr("1 file could not be read:")
            : tr("%1 files could not be read:").arg(series_.unreadable.size()));
    // Each file's reason in the user's language, its name as it is.
    unreadable_list_->clear();
    for (const quillon::UnreadableFile& file : series_.unreadable) {
        unreadable_list_->addItem(quillon::worded_message(
            file.reason.rfind(file.file, 0) == 0 ? file.reason : file.file + ": " + file.reason));
    }
    map_area_->parentWidget()->setAccessibleName(tr("Variation"));
    map_area_->setAccessibleName(tr("Variation map area"));
    cell_label_->setAccessibleName(tr("Chosen cell"));
    values_table_->setAccessibleName(tr("Values of the chosen cell"));
    file_menu_->setTitle(tr("&File"));
    export_picture_->setText(tr("&Export Picture..."));
    close_->setText(tr("&Close"));
    capture_menu_->setTitle(tr("&Capture"));
    set_reference_action_->setText(tr("Set as &Reference"));
    open_capture_->setText(tr("&Open in Browser"));
    captures_model_->Refresh();
    values_model_->headerDataChanged(Qt::Horizontal, 0, values_model_->columnCount() - 1);
    if (shown_cell_) {
        ShowCell(shown_cell_->row, shown_cell_->column);
    } else {
        ShowNoCell();
    }
}

void TfrmSeries::ShowNoCell()
{
    shown_cell_.reset();
    cell_label_->setText(tr("Choose a cell of the map to see each capture's value there."));
    values_model_->SetValues({});
    plot_->SetPlot({}, tr("capture time"), tr("value"));
}

TfrmSeries::~TfrmSeries() = default;

void TfrmSeries::BuildWindow()
{
    auto* central = new QSplitter(Qt::Vertical, this);
    setCentralWidget(central);

    // The captures, the reference's button and the files not read.
    auto* top = new QWidget(central);
    auto* top_layout = new QVBoxLayout(top);
    captures_table_ = new QTableView(top);
    sorted_->setSourceModel(captures_model_);
    sorted_->setSortRole(Qt::UserRole);
    captures_table_->setModel(sorted_);
    captures_table_->setSortingEnabled(true);
    captures_table_->sortByColumn(kTime, Qt::AscendingOrder);
    captures_table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    captures_table_->setSelectionMode(QAbstractItemView::SingleSelection);
    captures_table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    captures_table_->verticalHeader()->hide();
    captures_table_->horizontalHeader()->setStretchLastSection(true);
    top_layout->addWidget(captures_table_);
    auto* buttons = new QHBoxLayout;
    set_reference_ = new QPushButton(top);
    buttons->addWidget(set_reference_);
    buttons->addStretch();
    top_layout->addLayout(buttons);
    unreadable_label_ = new QLabel(top);
    unreadable_list_ = new QListWidget(top);
    unreadable_label_->setBuddy(unreadable_list_);
    unreadable_label_->setVisible(!series_.unreadable.empty());
    unreadable_list_->setVisible(!series_.unreadable.empty());
    unreadable_list_->setMaximumHeight(5 * fontMetrics().height());
    top_layout->addWidget(unreadable_label_);
    top_layout->addWidget(unreadable_list_);

    // The map, and beside it the values of the cell chosen and their plot.
    auto* bottom = new QSplitter(Qt::Horizontal, central);
    map_area_ = new QScrollArea(bottom);
    map_ = new VariationMapView;
    map_area_->setWidget(map_);
    auto* values = new QWidget(bottom);
    auto* values_layout = new QVBoxLayout(values);
    cell_label_ = new QLabel(values);
    cell_label_->setWordWrap(true);
    values_layout->addWidget(cell_label_);
    values_table_ = new QTableView(values);
    values_table_->setModel(values_model_);
    values_table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    values_table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    values_table_->verticalHeader()->hide();
    values_table_->horizontalHeader()->setStretchLastSection(true);
    values_layout->addWidget(values_table_);
    plot_ = new PlotView(values);
    plot_->SetXIsTime(true);
    plot_->setMinimumHeight(150);
    values_layout->addWidget(plot_);

    // Menus and the table's context menu.
    // Their texts come with the window's others (RetranslateUi).
    file_menu_ = menuBar()->addMenu(QString());
    export_picture_ = file_menu_->addAction(QString());
    file_menu_->addSeparator();
    close_ = file_menu_->addAction(QString());
    close_->setShortcut(QKeySequence::Close);
    capture_menu_ = menuBar()->addMenu(QString());
    set_reference_action_ = capture_menu_->addAction(QString());
    open_capture_ = capture_menu_->addAction(QString());
    captures_table_->setContextMenuPolicy(Qt::ActionsContextMenu);
    captures_table_->addActions({set_reference_action_, open_capture_});
    quillon::open_menu_bar_with_f10(*this);
    quillon::keep_mnemonics_out_of_fields();

    using quillon::on_signal;
    on_signal(set_reference_, &QAbstractButton::clicked, this, &TfrmSeries::btnSetReferenceClick);
    on_signal(set_reference_action_, &QAction::triggered, this, &TfrmSeries::btnSetReferenceClick);
    on_signal(export_picture_, &QAction::triggered, this, &TfrmSeries::mnuExportPictureClick);
    connect(close_, &QAction::triggered, this, &QWidget::close);
    connect(open_capture_, &QAction::triggered, this, [this] {
        quillon::run_guarded([this] {
            if (const auto capture = SelectedCapture()) {
                OpenCapture(*capture);
            }
        });
    });
    connect(captures_table_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) {
                quillon::run_guarded([this, row = index.row()] {
                    if (const auto capture = CaptureOnRow(row)) {
                        OpenCapture(*capture);
                    }
                });
            });
    connect(map_, &VariationMapView::cellChosen, this, [this](int row, int column) {
        quillon::run_guarded([this, row, column] { ShowCell(row, column); });
    });
    // The map wider than the values beside it, and taller than the table.
    bottom->setStretchFactor(0, 3);
    bottom->setStretchFactor(1, 2);
    central->setStretchFactor(0, 1);
    central->setStretchFactor(1, 2);
    captures_table_->resizeColumnsToContents();
    resize(1100, 800);
}

std::optional<std::size_t> TfrmSeries::CaptureOnRow(int row) const
{
    const QModelIndex index = sorted_->mapToSource(sorted_->index(row, 0));
    if (!index.isValid()) {
        return std::nullopt;
    }
    return std::size_t(index.row());
}

std::optional<std::size_t> TfrmSeries::SelectedCapture() const
{
    const QModelIndex current = captures_table_->currentIndex();
    return current.isValid() ? CaptureOnRow(current.row()) : std::nullopt;
}

void TfrmSeries::btnSetReferenceClick()
{
    if (const auto capture = SelectedCapture()) {
        SetReference(*capture);
    }
}

void TfrmSeries::SetReference(std::size_t capture)
{
    if (capture >= series_.captures.size()) {
        return;
    }
    quillon::compare_with_reference(series_, capture, series_.ignore, series_.only);
    captures_model_->Refresh();
    sorted_->invalidate();
    const auto chosen = map_->CurrentCell();
    map_->SetMap(quillon::variation_map(series_, fields_));
    map_->adjustSize();
    ShowNoCell();
    // The cell chosen before, else where most captures differ: in sight,
    // with its values, as a browser opens at the fired record.
    const auto shown =
        chosen && chosen->row < map_->Map().rows ? chosen : map_->Map().most_differing_cell();
    if (shown) {
        map_->SetCurrentCell(*shown);
        // Once the window is laid out: before, the area has no size.
        QTimer::singleShot(0, this, [this, cell = map_->CellRect(*shown)] {
            map_area_->ensureVisible(cell.center().x(), cell.center().y(),
                                     map_area_->viewport()->width() / 2,
                                     map_area_->viewport()->height() / 2);
        });
    }
}

void TfrmSeries::ShowCell(int row, int column)
{
    const quillon::VariationMap& map = map_->Map();
    if (row < 0 || row >= map.rows || column < 0 || column >= map_->Columns()) {
        return;
    }
    const int offset = map.offset_of(row);
    const quillon::RecordColumn& shown = map.columns[std::size_t(column)];
    auto values = quillon::values_at(series_, offset, shown, fields_);
    // A byte's label; a field's name with its unit.
    QString y_title = text_of(shown.label);
    if (shown.kind == quillon::ColumnKind::Field) {
        const std::string& unit = fields_[std::size_t(shown.index)].unit;
        y_title += unit.empty() ? QString() : " (" + text_of(unit) + ")";
    }
    std::vector<PlotPoint> points;
    for (const quillon::CaptureValue& value : values) {
        const quillon::SeriesCapture& capture = series_.captures[value.capture];
        points.push_back(
            {double(capture.time), value.value,
             time_text(capture.time) + " " + file_name(capture.file) + ": " + text_of(value.text)});
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const PlotPoint& a, const PlotPoint& b) { return a.x < b.x; });
    shown_cell_ = VariationMapView::Cell{row, column};
    cell_label_->setText(map_->CellText({row, column}));
    values_model_->SetValues(std::move(values));
    values_table_->resizeColumnsToContents();
    plot_->SetPlot(std::move(points), tr("capture time"),
                   tr("%1 at %2", "a value at an offset from the fired record")
                       .arg(y_title, text_of(quillon::offset_text(offset))),
                   double(series_.captures[series_.reference].time));
}

TfrmLogBrowser* TfrmSeries::OpenCapture(std::size_t capture)
{
    if (capture >= series_.captures.size()) {
        return nullptr;
    }
    const quillon::SeriesCapture& opened = series_.captures[capture];
    auto* browser =
        new TfrmLogBrowser(QFile::decodeName(opened.file.c_str()), opened.log, settings_path_);
    browser->SetLogOpener(log_opener_);
    browser->setAttribute(Qt::WA_DeleteOnClose);
    browser->show();
    if (capture != series_.reference) {
        // The reference as read already: its name need not be UTF-8.
        const quillon::SeriesCapture& reference = series_.captures[series_.reference];
        browser->CompareWith(QFile::decodeName(reference.file.c_str()), reference.log);
    }
    return browser;
}

void TfrmSeries::mnuExportPictureClick()
{
    const auto chosen = quillon::run_save_dialog(
        {QDir(folder_).filePath("variation-map.png"), tr("PNG image (*.png)"), "png"});
    if (!chosen) {
        return;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    map_->Picture().save(&buffer, "PNG");
    quillon::write_file_atomically(local_name(*chosen),
                                   std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

TfrmSeries* open_series(const std::vector<std::string>& named, const std::string& settings_path)
{
    if (named.empty()) {
        return nullptr;
    }
    quillon::Series series = quillon::read_series(quillon::series_files(named));
    if (series.captures.empty()) {
        std::string reasons;
        for (const quillon::UnreadableFile& file : series.unreadable) {
            reasons += file.reason + "\n";
        }
        quillon::show_error(
            TfrmSeries::tr("None of the files could be read as a log.").toStdString(), reasons);
        return nullptr;
    }
    const QFileInfo first(QFile::decodeName(QByteArray::fromStdString(named.front())));
    const QString folder = first.isDir() ? first.absoluteFilePath() : first.absolutePath();
    auto* window = new TfrmSeries(std::move(series), folder, settings_path);
    quillon::remember_log_opened(folder);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}
