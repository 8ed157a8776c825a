// A recording stand-in for the panel view, for control-model tests: it hands out window ids,
// records every hook call, and gives editable Text, Number and Password records an edit box.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "CtrlArray.h"

struct HostBox {
    long checkPoint = 0;
    std::string unit;
    long value = 0;
    bool sizeAlarm = false;
};

class RecordingHost : public ICtrlHost {
public:
    int NextWindowId() override { return ids.Next(); }
    void CreateWidgets(CCtrl& ctrl) override;
    void CreatePicture(CCtrl& ctrl, const uint8_t* data, size_t size) override;
    void RefreshWidgets(CCtrl& ctrl, CtrlRefresh what) override;
    void DestroyWidgets(CCtrl& ctrl) override;
    void ShowMessageBox(CCtrl& ctrl) override { messageBoxes.push_back(ctrl.m_nId); }
    void ReleaseLatchGroup(uint32_t group) override;
    void DiagnosticBox(long checkPoint, const char* unit, long value) override;
    void SizeAlarm(long checkPoint, const char* unit) override;
    void QuitRequest() override { ++quits; }

    // Refreshes of one record, in order.
    std::vector<CtrlRefresh> RefreshesOf(uint32_t id) const;
    int Count(uint32_t id, CtrlRefresh what) const;
    std::vector<long> CheckPoints() const;

    CtrlWindowIds ids;
    const CtrlArray* array = nullptr; // for radio groups
    std::vector<uint32_t> created;
    std::vector<uint32_t> destroyed;
    std::vector<uint32_t> messageBoxes;
    std::vector<uint32_t> releasedGroups;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> pictures;
    std::vector<std::pair<uint32_t, CtrlRefresh>> refreshes;
    std::map<uint32_t, std::vector<int>> widgetIds;
    std::vector<HostBox> boxes;
    int quits = 0;
};

// A stand-in edit box: the model only ever compares widget pointers with null.
QLineEdit* StandInEdit();
