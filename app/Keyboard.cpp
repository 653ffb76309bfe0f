#include "Keyboard.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QTextEdit>

namespace quillon {

namespace {

class AltKeyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress || !IsField(watched)) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers held = key->modifiers();
        return held.testFlag(Qt::AltModifier) && !held.testFlag(Qt::ControlModifier) &&
               !key->text().isEmpty() && key->text().front().isPrint();
    }

private:
    static bool IsField(QObject* watched)
    {
        return qobject_cast<QLineEdit*>(watched) != nullptr ||
               qobject_cast<QPlainTextEdit*>(watched) != nullptr ||
               qobject_cast<QTextEdit*>(watched) != nullptr ||
               qobject_cast<QAbstractSpinBox*>(watched) != nullptr;
    }
};

}  // namespace

void open_menu_bar_with_f10(QMainWindow& window)
{
    auto* key = new QShortcut(QKeySequence(Qt::Key_F10), &window);
    QObject::connect(key, &QShortcut::activated, &window, [&window] {
        QMenuBar* bar = window.menuBar();
        for (QAction* item : bar->actions()) {
            if (item->isVisible() && item->isEnabled() && !item->isSeparator()) {
                bar->setFocus(Qt::MenuBarFocusReason);
                bar->setActiveAction(item);
                return;
            }
        }
    });
}

void keep_mnemonics_out_of_fields()
{
    static AltKeyFilter* installed = nullptr;
    if (installed == nullptr && qApp != nullptr) {
        installed = new AltKeyFilter(qApp);
        qApp->installEventFilter(installed);
    }
}

}  // namespace quillon
