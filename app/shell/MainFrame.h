// The main window: the Navigation and Settings menus, the six-button toolbar docked at the top
// with the connection indicator at its right end, no status bar. Commands are forwarded to the
// view by their ids; the page keys work from anywhere in the frame (PageKeys).
#pragma once

#include <QMainWindow>
#include <QMap>
#include <QPointer>

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QMimeData;
class CConnectionIndicator;

enum CommandId : int {
    ID_LAYOUT_CONTROLS = 130,
    ID_LOAD_RECOMMENDED = 131,
    ID_DEFAULT_LAYOUT = 132,
    ID_PINGS = 133,
    ID_COM_PORTS = 134,
    ID_PREVIOUS_PAGE = 135,
    ID_NEXT_PAGE = 136,
    ID_FIRST_PAGE = 137,
    ID_LAST_PAGE = 138,
    ID_CLOSE = 139,
    ID_CONNECT = 141,
    ID_CANCEL_CONNECT = 154,
    ID_ALWAYS_RELOAD = 151,
    ID_AUTO_RECONNECT = 152,
    ID_PROTOCOL_MONITOR = 153,
    ID_MQTT = 155,
    ID_LOG_VALUES = 160,
    ID_APP_ABOUT = 0xE140,
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);

    QAction* Action(int id) const { return m_actions.value(id); }
    CConnectionIndicator* Indicator() const;
    // Adds or removes the sizing border: a fixed-size frame cannot be resized by the user.
    void SetSizingBorder(bool resizable);
    // Resizes so that the central area gets the given size, keeping the position.
    void SetClientSize(int width, int height);
    void BringToForeground();

    // The one .Tvx file in a drop, or empty: anything else dropped is not taken.
    static QString DroppedDocument(const QMimeData* data);

signals:
    void Command(int id);
    // Asked before every menu opens and on a timer for the toolbar, like update handlers.
    void UpdateCommands();
    // A .Tvx document was dropped on the window.
    void DocumentDropped(const QString& path);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QAction* AddAction(QMenu* menu, int id, const QString& text);
    QMap<int, QAction*> m_actions;
    QPointer<CConnectionIndicator> m_pIndicator; // null once the toolbar is gone
};
