// Page Up / Page Down and Ctrl+Home / Ctrl+End page through the panel from anywhere in the
// frame, also while a control has the focus, except a list, table or multi-line text, which
// moves through its own content with them.
#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

class CPageKeys : public QObject {
public:
    // Watches the keys pressed in `window` (a filter on the application).
    explicit CPageKeys(QWidget* window);

    static bool IsPageKey(const QKeyEvent& key);
    static bool KeepsPageKeys(const QWidget& widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_pWindow;
};
