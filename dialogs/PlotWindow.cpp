#include "PlotWindow.h"

#include "AtomicFile.h"
#include "GuardedHandlers.h"
#include "PlotView.h"
#include "Seams.h"

#include <QBuffer>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QMenuBar>
#include <QPushButton>

#include <stdexcept>
#include <string>

PlotWindow::PlotWindow(const QString& file, const QString& column, QWidget* parent)
    : QMainWindow(parent), file_(file), column_(column), plot_(new PlotView(this)),
      export_picture_(nullptr)
{
    setWindowTitle(QFileInfo(file).fileName() + " - " + column + " - Quillon plot");
    setCentralWidget(plot_);
    QMenu* menu = menuBar()->addMenu("File");
    menu->setObjectName("mnuFile");
    export_picture_ = menu->addAction("Export Picture...");
    export_picture_->setObjectName("mnuExportPicture");
    menu->addSeparator();
    QAction* close = menu->addAction("Close");
    close->setObjectName("mnuClose");
    close->setShortcut(QKeySequence::Close);
    quillon::on_signal(export_picture_, &QAction::triggered, this,
                       &PlotWindow::mnuExportPictureClick);
    connect(close, &QAction::triggered, this, &QWidget::close);
}

void PlotWindow::mnuExportPictureClick()
{
    const QFileInfo log(file_);
    const auto chosen = quillon::run_save_dialog(
        {log.dir().filePath(log.completeBaseName() + " - " + column_ + ".png"), "PNG (*.png)",
         "png"});
    if (!chosen) {
        return;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !plot_->Picture().save(&buffer, "PNG")) {
        throw std::runtime_error("The picture could not be made into PNG.");
    }
    quillon::write_file_atomically(QFile::encodeName(*chosen).toStdString(),
                                   std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

std::optional<int> choose_plot_column(const QStringList& columns, QWidget* parent)
{
    QDialog dialog(parent);
    dialog.setWindowTitle("Plot");
    auto* layout = new QFormLayout(&dialog);
    auto* column = new QComboBox(&dialog);
    column->setObjectName("cbxPlotColumn");
    column->setAccessibleName("Column");
    column->addItems(columns);
    layout->addRow("Column:", column);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName("OK");
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName("Cancel");
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (quillon::run_modal(dialog) != QDialog::Accepted || column->currentIndex() < 0) {
        return std::nullopt;
    }
    return column->currentIndex();
}
