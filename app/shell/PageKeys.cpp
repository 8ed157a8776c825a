#include "PageKeys.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextEdit>

CPageKeys::CPageKeys(QWidget* window) : QObject(window), m_pWindow(window) {
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

bool CPageKeys::IsPageKey(const QKeyEvent& key) {
    const auto mods = key.modifiers() & ~Qt::KeypadModifier;
    switch (key.key()) {
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return mods == Qt::NoModifier;
    case Qt::Key_Home:
    case Qt::Key_End:
        return mods == Qt::ControlModifier;
    default:
        return false;
    }
}

bool CPageKeys::KeepsPageKeys(const QWidget& widget) {
    return qobject_cast<const QAbstractItemView*>(&widget) ||
           qobject_cast<const QPlainTextEdit*>(&widget) || qobject_cast<const QTextEdit*>(&widget);
}

// Before a key becomes a shortcut, the focused widget is asked whether it wants it itself: a
// line edit or spin box would say yes to some of these, so the answer is given here.
bool CPageKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    auto* key = static_cast<QKeyEvent*>(event);
    if (widget->window() != m_pWindow || !IsPageKey(*key)) return false;
    if (KeepsPageKeys(*widget))
        key->accept();
    else
        key->ignore();
    return true;
}
