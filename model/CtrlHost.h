// What a control record needs from the panel view that owns its widgets: window ids, creating,
// refreshing and destroying the widgets, showing a device message box, releasing a radio group,
// and the program-fault and size-alarm boxes. Every hook has a default that does nothing, so a
// partial host (or none) is safe; the panel view implements all of them.
#pragma once

#include <cstddef>
#include <cstdint>

#include <QString>

class CCtrl;

// What changed in a record, for RefreshWidgets.
enum class CtrlRefresh {
    Brush,      // m_crColour changed: re-make m_hBrush
    Fonts,      // size or boldness of a font changed: re-make m_pFont and m_pTitleFont, apply them
    Value,      // the value changed (from the device or the user): show it in the widgets
    Attributes, // flags and colour were replaced: redraw the kind's widgets
    MatrixData, // matrix buffers were replaced: refill the open dialog's table and the control's
                // own table (setting m_nListRows), redraw the chart and the tables
};

class ICtrlHost {
public:
    virtual ~ICtrlHost() = default;

    // The next child-window id of the panel (10001 first after a reset). Init takes one into
    // m_nWndId, and the first widget CreateWidgets makes uses that id; every further widget
    // takes a new one.
    virtual int NextWindowId() { return 0; }

    // Makes the widgets of ctrl.m_nType, hidden, into the record's widget members, with the
    // record's fonts. Called once per record, after the creation operation stored its data
    // (never for a Message box). An Image's picture comes through CreatePicture. A host may make
    // them only when the control is first shown, taking their window ids now all the same; the
    // widget members stay null until then.
    virtual void CreateWidgets(CCtrl&) {}
    // Image: decodes the picture into m_pBitmap / m_pImageDC and sets m_nImageWidth and
    // m_nImageHeight, replacing any previous picture. The bytes are valid during the call only.
    virtual void CreatePicture(CCtrl&, const uint8_t*, size_t) {}
    virtual void RefreshWidgets(CCtrl&, CtrlRefresh) {}
    // Deletes every widget, font, brush and picture the record holds and nulls the members.
    // Called by the record's destructor, so the host must outlive its records.
    virtual void DestroyWidgets(CCtrl&) {}

    // Starts the Message box of the record, not waiting for the user; the answer comes back to
    // the view, which sends it with SendControlAnswer.
    virtual void ShowMessageBox(CCtrl&) {}
    // Opens the change-password dialog of a Password record, modally; m_pPasswordDlg is set
    // while it is open.
    virtual void OpenPasswordDialog(CCtrl&) {}
    // The user's value has gone to the link, `bytes` as sent (a value log takes it from here).
    virtual void ValueSent(CCtrl&, const uint8_t*, uint32_t) {}
    // A latch of the group was clicked: switch the panel's other latches of the group off
    // (ReleaseLatchGroup of CtrlArray.h does it for an array).
    virtual void ReleaseLatchGroup(uint32_t) {}

    // "At %ld file %s, val=%ld" (DiagnosticText); a box nobody waits for.
    virtual void DiagnosticBox(long, const char*, long) {}
    // "Bluetooth driver error %ld <unit>" (SizeAlarmText); a box nobody waits for. QuitRequest
    // follows it.
    virtual void SizeAlarm(long, const char*) {}
    virtual void QuitRequest() {}
};

// Source unit names shown in the boxes.
inline constexpr const char* CTRL_UNIT = "CCtrl";
inline constexpr const char* VIEW_UNIT = "Talvex22View";

QString DiagnosticText(long checkPoint, const char* unit, long value);
QString SizeAlarmText(long checkPoint, const char* unit);

// The panel's window-id counter, for the view.
class CtrlWindowIds {
public:
    static constexpr int kBase = 10000;
    // Restart with a new panel: the next id is 10001.
    void Reset() { m_nLast = kBase; }
    int Next() { return ++m_nLast; }
    int Last() const { return m_nLast; }

private:
    int m_nLast = kBase;
};
