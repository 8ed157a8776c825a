// The widgets of the panel's controls, one group per record: made, refreshed and destroyed for
// the records (the view forwards ICtrlHost's widget hooks here), placed and shown by the layout,
// and their signals turned into the owning record's user acts. The kinds' own widgets live in
// one file per family (KindWidgets.h); this class picks the family and does what is common.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CCtrl;
class KindWidgets;
class IDesktopOpener;
class FrameThrottle;
class QWidget;
enum class CtrlRefresh;

// What a control's widget reports.
enum class CtrlNotify {
    Clicked,        // a button or check box was clicked (or its Return key in an edit)
    SelChange,      // the selection of a drop-down list or list box changed
    EditChange,     // the text of an edit box changed
    DateTimeChange, // a date or time picker changed
    SliderScroll,   // the slider moved (never while its thumb is dragged)
    Pressed,        // the momentary button went down
    Released,       // the momentary button came up
};

class CCtrlWidgets : public QObject {
    Q_OBJECT
public:
    // Every widget is a child of `panel`.
    explicit CCtrlWidgets(QWidget* panel);
    ~CCtrlWidgets() override;

    // ---- The records' widget hooks (CtrlWidgets.cpp)

    // The kind's widgets, hidden, in creation order with window ids from the record's host.
    // When they are made when shown, only their window ids are taken now.
    void CreateWidgets(CCtrl& c);
    // A panel of thousands of controls shows a page of them: each control's widgets are made
    // when it is first shown (MakeWidgets), as they would have been made at its creation.
    void MakeWhenShown(bool on) { m_bWhenShown = on; }
    // Makes the widgets CreateWidgets put off, placed, with the record's value, colours, fonts
    // and state; in the tab order after `tabAfter` (none: before every other control's).
    // False, and nothing done, when they are made already.
    bool MakeWidgets(CCtrl& c, QWidget* tabAfter);
    bool IsMade(const CCtrl& c) const { return !m_unmade.count(&c); }
    // The last of the record's widgets in the tab order, as MakeWidgets left it; none before.
    QWidget* LastInTabOrder(const CCtrl& c) const;
    void RefreshWidgets(CCtrl& c, CtrlRefresh what);
    // While on, a value is set into its control's widgets at the next showing (every third screen
    // frame), once for all the values the control took until then (the last wins; the record
    // always has it). The view paces the values the device pushes, which may come faster than the
    // screen shows them.
    void PaceValues(bool on) { m_bPaceValues = on; }
    // Sets every held value into its widgets now.
    void ShowHeldValues();
    // Widgets, fonts, brush and picture go; an open password or matrix dialog is asked to close.
    void DestroyWidgets(CCtrl& c);
    // Image: decodes the picture in place of the record's previous one. Pictures count against
    // the panel's budget (LinkGetPanelBudget) with the link's buffers; one that would exceed it is
    // refused, and the refusals of a build or a batch of values are told in one notice.
    void CreatePicture(CCtrl& c, const uint8_t* data, size_t size);

    // ---- Layout (CtrlWidgets.cpp)

    // Every widget to its rectangle, with the border, alignment and disabled styles and the
    // colours of the control's style.
    void PlaceWidgets(CCtrl& c);
    // Shows the widgets the kind and style call for when `visible`, hides the rest.
    void ShowControl(CCtrl& c, bool visible);
    // A panel is built with its canvas hidden (making widgets into a hidden parent is several
    // times cheaper); the view calls this once the page is shown.
    void Reveal();

    // The title or one of the body widgets (for Button and Section only the button).
    static bool OwnsWindow(const CCtrl& c, const QWidget* w);
    // The parent of every widget.
    QWidget* Panel() const { return m_pPanel; }

    // ---- User acts (CtrlWidgets.cpp, and the families)

    // A notification of one of the control's widgets, handled by the control's kind; a kind that
    // does not expect it gets the program-fault box.
    void Notify(CCtrl& c, QWidget* w, CtrlNotify what);
    // File: a file has arrived as `name` in the files directory (empty: it was not saved). It is
    // opened only when the person asked for it by a click.
    void OpenFile(CCtrl& c, const QString& name);
    static void ClosePasswordDialog(CCtrl& c);
    // Blob: opens the web address it holds, or says it cannot.
    void OpenBlob(const CCtrl& c);
    // Matrix: the button of styles 0 to 3.
    void OpenMatrixDialog(CCtrl& c);
    // Matrix: the chart window, the in-panel table and the open matrix dialog follow the data
    // (also when the table is first made).
    void ShowMatrixData(CCtrl& c);

    // Collaborators, replaced by tests: the desktop's URL handler, a notice to the user (shown
    // as a box that does not block), and the folder of received files.
    IDesktopOpener* opener;
    std::function<void(const QString&)> notice;
    std::function<QString()> filesDirectory;

signals:
    // A Section opened or closed: its widgets move to its other rectangle, maybe another page.
    void RelayoutRequested();

private:
    void ReleasePicture(CCtrl& c);
    void RefusePicture(const CCtrl& c);
    void ShowValue(CCtrl& c);
    // Create, the value, the colours and the enabled state.
    void Make(CCtrl& c, const KindWidgets& family, bool late);

    QWidget* m_pPanel;
    // Before every control's widgets in the tab order (hidden, so never focused).
    QWidget* m_pTabStart;
    bool m_bWhenShown = false;
    // Records whose widgets are not made yet, with their flags at creation (they chose the
    // widgets); and where the made ones end in the tab order.
    std::unordered_map<const CCtrl*, uint32_t> m_unmade;
    std::unordered_map<const CCtrl*, QWidget*> m_tabEnd;
    bool m_bHiddenForBuild = false;
    size_t m_nPictureBytes = 0;           // the panel's decoded pictures
    QSet<const CCtrl*> m_refusedPictures; // told once per control
    QStringList m_unreported;             // refused since the last notice
    bool m_bPaceValues = false;
    // The controls whose latest value is not yet in their widgets, in the order they changed.
    std::vector<CCtrl*> m_heldValues;
    std::unordered_set<const CCtrl*> m_held;
    FrameThrottle* m_pValueFrame;
};

// The window id a control's widget was made with; 0 for any other widget.
int WindowIdOf(const QWidget* w);
