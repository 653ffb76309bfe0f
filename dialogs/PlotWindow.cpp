#include "PlotWindow.h"

#include "AtomicFile.h"
#include "GuardedHandlers.h"
#include "Keyboard.h"
#include "LogTimeline.h"
#include "PlotView.h"
#include "Seams.h"

#include <QBuffer>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QMenuBar>
#include <QPushButton>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

PlotWindow::PlotWindow(const QString& file, const QString& column, QWidget* parent)
    : QMainWindow(parent), file_(file), column_(column), plot_(new PlotView(this)),
      export_picture_(nullptr)
{
    setCentralWidget(plot_);
    file_menu_ = menuBar()->addMenu(QString());
    file_menu_->setObjectName("mnuFile");
    export_picture_ = file_menu_->addAction(QString());
    export_picture_->setObjectName("mnuExportPicture");
    file_menu_->addSeparator();
    close_ = file_menu_->addAction(QString());
    close_->setObjectName("mnuClose");
    close_->setShortcut(QKeySequence::Close);
    quillon::on_signal(export_picture_, &QAction::triggered, this,
                       &PlotWindow::mnuExportPictureClick);
    connect(close_, &QAction::triggered, this, &QWidget::close);
    quillon::open_menu_bar_with_f10(*this);
    RetranslateUi();
}

void PlotWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        RetranslateUi();
    }
    QMainWindow::changeEvent(event);
}

void PlotWindow::RetranslateUi()
{
    setWindowTitle(tr("%1 - %2 - Quillon plot").arg(QFileInfo(file_).fileName(), column_));
    file_menu_->setTitle(tr("&File"));
    export_picture_->setText(tr("&Export Picture..."));
    close_->setText(tr("&Close"));
    ShowColumnPlotWorded();
}

void PlotWindow::ShowColumnPlot(quillon::ColumnPlot values)
{
    std::vector<NamedPlot> one;
    one.push_back({QString(), std::move(values)});
    ShowColumnPlots(std::move(one));
}

void PlotWindow::ShowColumnPlots(std::vector<NamedPlot> plots)
{
    column_plots_ = std::move(plots);
    ShowColumnPlotWorded();
}

PlotAxis axis_of(const quillon::PlotScale& scale)
{
    using Kind = quillon::PlotScale::Kind;
    PlotAxis axis;
    axis.kind = scale.kind == Kind::Byte    ? PlotAxis::Kind::Byte
                : scale.kind == Kind::Named ? PlotAxis::Kind::Named
                                            : PlotAxis::Kind::Number;
    for (const auto& [value, name] : scale.names) {
        axis.names.emplace_back(value, QString::fromStdString(name));
    }
    return axis;
}

void PlotWindow::ShowColumnPlotWorded()
{
    if (column_plots_.empty()) {
        return;
    }
    const quillon::ColumnPlot& first = column_plots_.front().plot;
    const bool by_offset = first.marked_x.has_value();
    std::vector<PlotSeries> lines;
    for (const NamedPlot& named : column_plots_) {
        PlotSeries line{named.name, {}, double(named.plot.origin)};
        line.points.reserve(named.plot.points.size());
        for (const quillon::ColumnPlotPoint& point : named.plot.points) {
            const QString value = QString::fromStdString(point.value);
            line.points.push_back(
                {point.x, point.y,
                 by_offset ? tr("%1 (record %2): %3", "offset, record, value")
                                 .arg(QString::fromStdString(quillon::offset_text(int(point.x))))
                                 .arg(point.record)
                                 .arg(value)
                           : tr("record %1: %2").arg(point.record).arg(value)});
        }
        lines.push_back(std::move(line));
    }
    plot_->SetYAxis(axis_of(first.scale));
    plot_->SetPlots(std::move(lines), by_offset ? tr("offset from the fired record") : tr("record"),
                    QString::fromStdString(first.y_title), first.marked_x);
}

void PlotWindow::mnuExportPictureClick()
{
    const QFileInfo log(file_);
    const auto chosen = quillon::run_save_dialog(
        {log.dir().filePath(log.completeBaseName() + " - " + column_ + ".png"),
         tr("PNG image (*.png)"), "png"});
    if (!chosen) {
        return;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !plot_->Picture().save(&buffer, "PNG")) {
        throw std::runtime_error(tr("The picture could not be made into PNG.").toStdString());
    }
    quillon::write_file_atomically(QFile::encodeName(*chosen).toStdString(),
                                   std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

std::optional<int> choose_plot_column(const QStringList& columns, QWidget* parent)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(PlotWindow::tr("Plot"));
    auto* layout = new QFormLayout(&dialog);
    auto* column = new QComboBox(&dialog);
    column->setObjectName("cbxPlotColumn");
    column->setAccessibleName(PlotWindow::tr("Column"));
    column->addItems(columns);
    layout->addRow(PlotWindow::tr("&Column:"), column);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(PlotWindow::tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(PlotWindow::tr("Cancel"));
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (quillon::run_modal(dialog) != QDialog::Accepted || column->currentIndex() < 0) {
        return std::nullopt;
    }
    return column->currentIndex();
}
