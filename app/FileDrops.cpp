#include "FileDrops.h"

#include "Seams.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace quillon {

namespace {

class FileDropFilter : public QObject {
public:
    FileDropFilter(QWidget& window, FilesHandler open) : QObject(&window), open_(std::move(open)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (drag->mimeData() != nullptr && !dropped_files(*drag->mimeData()).isEmpty()) {
                drag->acceptProposedAction();
                return true;
            }
            return false;
        }
        if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            if (drop->mimeData() == nullptr) {
                return false;
            }
            const QStringList files = dropped_files(*drop->mimeData());
            if (files.isEmpty()) {
                return false;
            }
            drop->acceptProposedAction();
            run_guarded([this, &files] { open_(files); });
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    FilesHandler open_;
};

}  // namespace

std::vector<std::string> local_names(const QStringList& files)
{
    std::vector<std::string> names;
    names.reserve(std::size_t(files.size()));
    for (const QString& file : files) {
        names.push_back(QFile::encodeName(file).toStdString());
    }
    return names;
}

QStringList dropped_files(const QMimeData& mime)
{
    QStringList files;
    for (const QUrl& url : mime.urls()) {
        if (url.isLocalFile()) {
            files << url.toLocalFile();
        }
    }
    return files;
}

void accept_file_drops(QWidget& window, FilesHandler open)
{
    window.setAcceptDrops(true);
    window.installEventFilter(new FileDropFilter(window, std::move(open)));
}

}  // namespace quillon
