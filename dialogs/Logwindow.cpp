#include "Logwindow.h"

#include "AtomicFile.h"
#include "GuardedHandlers.h"
#include "Keyboard.h"
#include "LogText.h"
#include "Seams.h"
#include "ui_Logwindow.h"

#include <QEvent>
#include <QFile>
#include <QFont>

#include <vector>

namespace {

// The list's margins inside the client area: 8 at left and top, and what
// the list leaves free at the right and bottom.
constexpr int kMargin = 8;
constexpr int kWidthAllowance = 17;
constexpr int kHeightAllowance = 16;

}  // namespace

TfrmLogWindow::TfrmLogWindow(quillon::AmplifierSend send, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::TfrmLogWindow>()), send_(std::move(send))
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    // The family named in the layout, with a fixed-pitch stand-in where it
    // is missing: rows line up only in a fixed-pitch face.
    QFont font(QString::fromUtf8("ＭＳ ゴシック"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(12);
    ui_->lbxLogList->setFont(font);
    ui_->centralwidget->installEventFilter(this);
    quillon::open_menu_bar_with_f10(*this);
    quillon::keep_mnemonics_out_of_fields();

    using quillon::on_signal;
    on_signal(ui_->mnuGetLog, &QAction::triggered, this, &TfrmLogWindow::mnuGetLogClick);
    on_signal(ui_->mnuSaveLog, &QAction::triggered, this, &TfrmLogWindow::mnuSaveLogClick);
    on_signal(ui_->mnuClearLog, &QAction::triggered, this, &TfrmLogWindow::mnuClearLogClick);
}

TfrmLogWindow::~TfrmLogWindow() = default;

void TfrmLogWindow::changeEvent(QEvent* event)
{
    // Every text this window shows is its layout's.
    if (event->type() == QEvent::LanguageChange) {
        ui_->retranslateUi(this);
    }
    QMainWindow::changeEvent(event);
}

bool TfrmLogWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui_->centralwidget && event->type() == QEvent::Resize) {
        FormResize();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmLogWindow::FormResize()
{
    const QSize client = ui_->centralwidget->size();
    ui_->lbxLogList->setGeometry(kMargin, kMargin, client.width() - kWidthAllowance,
                                 client.height() - kHeightAllowance);
}

void TfrmLogWindow::AddRow(const std::string& row)
{
    ui_->lbxLogList->addItem(QString::fromLocal8Bit(row.c_str()));
}

void TfrmLogWindow::mnuGetLogClick()
{
    ui_->lbxLogList->clear();
    ui_->mnuSaveLog->setEnabled(false);
    ui_->mnuClearLog->setEnabled(false);
    AddRow(quillon::date_time_line(quillon::local_now()));

    // Only the control command's success counts here; it stops logging.
    if (!quillon::send_log_control(send_, quillon::log_stop_parameters())) {
        quillon::show_failure(quillon::AmplifierFailure::CantTalk);
        return;
    }
    AddRow({});
    const auto log = quillon::read_log_blocks(send_, [](int) {});
    for (const auto& record : log.records) {
        AddRow(quillon::record_line(record, quillon::kLogViewRecord));
    }
    if (log.failure) {
        quillon::show_failure(*log.failure);
        return;
    }
    ui_->mnuSaveLog->setEnabled(true);
    ui_->mnuClearLog->setEnabled(true);
}

void TfrmLogWindow::mnuSaveLogClick()
{
    // Asks before replacing a file, as the main window's save does.
    const auto file = quillon::run_save_dialog({QString(), tr("All files (*)"), QString()});
    if (!file) {
        return;
    }
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(ui_->lbxLogList->count()));
    for (int row = 0; row < ui_->lbxLogList->count(); ++row) {
        lines.push_back(ui_->lbxLogList->item(row)->text().toLocal8Bit().toStdString());
    }
    // A file that cannot be written leaves the list as it was.
    quillon::write_file_atomically(QFile::encodeName(*file).toStdString(),
                                   quillon::crlf_text(lines));
    ui_->lbxLogList->clear();
}

void TfrmLogWindow::mnuClearLogClick()
{
    ui_->lbxLogList->clear();
}
