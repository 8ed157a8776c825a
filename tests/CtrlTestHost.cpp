#include "CtrlTestHost.h"

#include <algorithm>

#include <QLocale>
#include <gtest/gtest.h>

namespace {

// Day names and date texts in the tests are those of US English.
class PinnedLocale : public ::testing::Environment {
public:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
};
[[maybe_unused]] const auto* const kPinnedLocale =
    ::testing::AddGlobalTestEnvironment(new PinnedLocale);

char g_editMarker;

} // namespace

QLineEdit* StandInEdit() {
    return reinterpret_cast<QLineEdit*>(&g_editMarker);
}

void RecordingHost::CreateWidgets(CCtrl& ctrl) {
    created.push_back(ctrl.m_nId);
    // The first widget takes the id Init took, the title a new one.
    widgetIds[ctrl.m_nId] = {ctrl.m_nWndId, ids.Next()};
    const bool edit =
        (ctrl.m_nType == TYPE_TEXT || ctrl.m_nType == TYPE_NUMBER) && ctrl.IsEditable();
    if (edit || ctrl.m_nType == TYPE_PASSWORD) ctrl.m_pEdit = StandInEdit();
}

void RecordingHost::CreatePicture(CCtrl& ctrl, const uint8_t* data, size_t size) {
    pictures.push_back({ctrl.m_nId, std::vector<uint8_t>(data, data + size)});
    ctrl.m_nImageWidth = int(size);
    ctrl.m_nImageHeight = 1;
}

void RecordingHost::RefreshWidgets(CCtrl& ctrl, CtrlRefresh what) {
    refreshes.push_back({ctrl.m_nId, what});
}

void RecordingHost::DestroyWidgets(CCtrl& ctrl) {
    destroyed.push_back(ctrl.m_nId);
    ctrl.m_pEdit = nullptr;
}

void RecordingHost::ReleaseLatchGroup(uint32_t group) {
    releasedGroups.push_back(group);
    if (array) ::ReleaseLatchGroup(*array, group);
}

void RecordingHost::DiagnosticBox(long checkPoint, const char* unit, long value) {
    boxes.push_back({checkPoint, unit, value, false});
}

void RecordingHost::SizeAlarm(long checkPoint, const char* unit) {
    boxes.push_back({checkPoint, unit, 0, true});
}

std::vector<CtrlRefresh> RecordingHost::RefreshesOf(uint32_t id) const {
    std::vector<CtrlRefresh> out;
    for (const auto& [who, what] : refreshes)
        if (who == id) out.push_back(what);
    return out;
}

int RecordingHost::Count(uint32_t id, CtrlRefresh what) const {
    const auto of = RefreshesOf(id);
    return int(std::count(of.begin(), of.end(), what));
}

std::vector<long> RecordingHost::CheckPoints() const {
    std::vector<long> out;
    for (const HostBox& b : boxes) out.push_back(b.checkPoint);
    return out;
}
