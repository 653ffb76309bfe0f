// Files dropped on a window: the local files that a drag carries, handed to
// a callback (the windows open them as logs).
#pragma once

#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QMimeData;
class QWidget;

namespace quillon {

// The local files among the drag's URLs, in their order.
QStringList dropped_files(const QMimeData& mime);

// Names as the bytes the system knows them by, which need not be UTF-8.
std::vector<std::string> local_names(const QStringList& files);

using FilesHandler = std::function<void(const QStringList& files)>;
// Has window accept drags that carry local files and hand them to open when
// dropped; other drags are refused. The filter lives as long as window.
void accept_file_drops(QWidget& window, FilesHandler open);

}  // namespace quillon
