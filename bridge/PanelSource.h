// A panel's records as a bridge sees them, whoever runs them (the headless panel, or the
// window's view): what is there, and an observer told what changes.
#pragma once

#include <QString>

#include "CtrlArray.h"
#include "CtrlHost.h"

// Told on the event loop's thread; never while the link lock is held.
class IPanelObserver {
public:
    virtual ~IPanelObserver() = default;
    // The records were built anew (a new panel or layout); pointers to old ones are gone.
    virtual void PanelBuilt() {}
    // A record's value changed: from the device, or from an act on it.
    virtual void ValueChanged(CCtrl&) {}
    virtual void AttributesChanged(CCtrl&) {}
    // A device message box waits for an answer (CCtrl::SendAnswer).
    virtual void Question(CCtrl&) {}
    // The source's own box for the question of control `id` closed (answered there, or gone):
    // the question is no longer open.
    virtual void QuestionClosed(uint32_t) {}
    // The device answered with a panel (true), or was lost (false, saying why).
    virtual void DeviceState(bool, const QString&) {}
    // A line for the log: the link's diagnostics, the device's messages.
    virtual void Notice(const QString&) {}

    // A record's refresh, told as the change it stands for (ValueChanged, AttributesChanged).
    void Refreshed(CCtrl& c, CtrlRefresh what);
};

class IPanelSource {
public:
    virtual ~IPanelSource() = default;
    // One observer at a time; null for none.
    virtual void SetObserver(IPanelObserver* observer) = 0;
    virtual const CtrlArray& Ctrls() const = 0;
    // A panel has come on the open connection.
    virtual bool HasPanel() const = 0;
    // The link's panel: its title and about text.
    virtual QString Title() const;
    virtual QString AboutText() const;
    // The question of control `id` was answered through the bridge: the source's own box for it
    // goes, answering nothing more.
    virtual void CloseQuestion(uint32_t) {}
};
