// The user's acts on a control: the new value bytes go into the link's entry (LinkSetValue) and
// out with every other pending value (LinkSendChanges); password requests and message-box
// answers use their own link operations.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include <QDate>
#include <QLocale>
#include <QTime>

#include "Ctrl.h"
#include "Frame.h"
#include "TextCodec.h"

namespace {

constexpr uint8_t kOn = 255;

// A number as a person types it: with the locale's decimal separator and grouping, or with a
// point and no grouping (as the edit box shows numbers, so that form wins where the two differ).
// Blanks around it are allowed, anything else is not.
std::optional<double> ReadNumber(const QString& text) {
    const QString typed = text.trimmed();
    QLocale point = QLocale::c();
    point.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    double value = point.toDouble(typed, &ok);
    if (!ok) value = QLocale().toDouble(typed, &ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

// x, truncated toward zero into 32 bits. Products like 0.29 x 100 land a hair below the integer
// the user typed; they count as that integer.
int32_t TruncateToInt32(double x) {
    const double nearest = std::nearbyint(x);
    if (std::fabs(x - nearest) <= 1e-9 * std::max(1.0, std::fabs(x))) x = nearest;
    x = std::trunc(x);
    if (x >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (x <= double(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return int32_t(x);
}

std::u16string U16(const QString& text) {
    return text.toStdU16String();
}

} // namespace

void CCtrl::Send(const void* bytes, uint32_t length) {
    LinkSetValue(m_nId, bytes, length);
    LinkSendChanges();
    if (m_pParent) m_pParent->ValueSent(*this, static_cast<const uint8_t*>(bytes), length);
}

void CCtrl::SendState() {
    Send(&m_bValue, 1);
}

void CCtrl::SendNumber(int32_t value) {
    m_nValue = Clamped(value);
    uint8_t bytes[4];
    PutU32LE(bytes, uint32_t(m_nValue));
    Send(bytes, 4);
}

void CCtrl::PressButton() {
    if (!IsKind(TYPE_BUTTON)) return;
    const uint8_t pressed = kOn;
    Send(&pressed, 1);
}

void CCtrl::ClickLatch() {
    if (!IsKind(TYPE_LATCH)) return;
    if (m_nGroup) {
        LinkClearGroup(m_nGroup);
        if (m_pParent) m_pParent->ReleaseLatchGroup(m_nGroup);
    }
    if (m_dwFlags & CTRLF_LATCH_MOMENTARY)
        m_bValue = 0;
    else if (m_nGroup)
        m_bValue = kOn; // radio buttons: a click always switches on
    else
        m_bValue = m_bValue ? 0 : kOn;
    ApplyValueFont();
    Refresh(CtrlRefresh::Value);
    SendState();
}

void CCtrl::PressMomentary() {
    if (!IsKind(TYPE_LATCH)) return;
    m_bValue = kOn;
    ApplyValueFont();
    Refresh(CtrlRefresh::Value);
    SendState();
}

void CCtrl::ReleaseMomentary() {
    if (!IsKind(TYPE_LATCH)) return;
    m_bValue = 0;
    ApplyValueFont();
    Refresh(CtrlRefresh::Value);
    SendState();
}

void CCtrl::ReleaseFromGroup(uint32_t group) {
    if (m_nType != TYPE_LATCH || m_nGroup != group || (m_dwFlags & CTRLF_LATCH_MOMENTARY)) return;
    m_bValue = 0;
    ApplyValueFont();
    Refresh(CtrlRefresh::Value);
}

void CCtrl::ToggleSection() {
    if (!IsKind(TYPE_SECTION)) return;
    m_bValue = m_bValue ? 0 : kOn;
    Refresh(CtrlRefresh::Value);
    SendState();
    ApplyValueFont();
}

void CCtrl::TextEdited(const QString& text) {
    if (!IsKind(TYPE_TEXT)) return;
    if (m_nTextEcho > 0) {
        if (text == m_strText) {
            --m_nTextEcho;
            return;
        }
        // A replacement that reported nothing (an unchanged text) left a count behind; this
        // change is the user's and must not be lost.
        m_nTextEcho = 0;
    }
    if (m_nStyle == 0) SendText(text);
}

void CCtrl::SendText(const QString& text) {
    if (!IsKind(TYPE_TEXT)) return;
    m_strText = text;
    Refresh(CtrlRefresh::Value); // the edit box shows what goes, whoever entered it
    std::vector<uint8_t> bytes = EncodeUtf16LE(text.toStdU16String());
    bytes.resize(bytes.size() + 2, 0); // the terminator
    Send(bytes.data(), uint32_t(bytes.size()));
}

std::optional<int32_t> CCtrl::NumberFromText(const QString& typed) const {
    const std::optional<double> number = ReadNumber(typed);
    if (!number) return std::nullopt;
    return TruncateToInt32(*number * std::pow(10.0, -double(m_nExponent)));
}

bool CCtrl::EnterNumber(const QString& typed) {
    if (!IsKind(TYPE_NUMBER)) return false;
    const std::optional<int32_t> raw = NumberFromText(typed);
    if (!raw) {
        Refresh(CtrlRefresh::Value); // the edit box shows the value again
        return false;
    }
    m_nValue = Clamped(*raw);
    Refresh(CtrlRefresh::Value);
    SendNumber(m_nValue);
    return true;
}

void CCtrl::StepNumber(bool plus) {
    if (!IsKind(TYPE_NUMBER)) return;
    const int64_t stepped = int64_t(m_nValue) + (plus ? 1 : -1);
    m_nValue = Clamped(int32_t(std::clamp<int64_t>(stepped, std::numeric_limits<int32_t>::min(),
                                                   std::numeric_limits<int32_t>::max())));
    Refresh(CtrlRefresh::Value);
    SendNumber(m_nValue);
}

void CCtrl::SlideNumber(int position) {
    if (!IsKind(TYPE_NUMBER)) return;
    // The slider shows its own position; the texts stay as they are.
    SendNumber(position);
}

void CCtrl::ChangeDateTime(const QDate& date, const QTime& time) {
    if (!IsKind(TYPE_DATETIME)) return;
    DateTimeRecord value = DateTimeValue();
    if (date.isValid()) {
        if (m_dwFlags & CTRLF_DATE_YEAR) value.year = uint16_t(std::clamp(date.year(), 0, 0xFFFF));
        if (m_dwFlags & CTRLF_DATE_MONTH) value.month = uint8_t(date.month());
        value.day = uint8_t(date.day());
        // The 31st picked while the device keeps a shorter month: its last day.
        const QDate first(value.year, value.month, 1);
        if (first.isValid()) value.day = uint8_t(std::min<int>(value.day, first.daysInMonth()));
    }
    if (time.isValid()) {
        if (m_dwFlags & CTRLF_TIME_HOUR) value.hour = uint8_t(time.hour());
        if (m_dwFlags & CTRLF_TIME_MINUTE) value.minute = uint8_t(time.minute());
        if (m_dwFlags & CTRLF_TIME_SECOND) value.second = uint8_t(time.second());
    }
    value.ToBytes(m_DateTime);
    Refresh(CtrlRefresh::Value); // the pickers show what goes, not the parts the device keeps
    Send(m_DateTime, sizeof m_DateTime);
}

void CCtrl::SelectWeekday(int index) {
    if (!IsKind(TYPE_DATETIME)) return;
    if (index < 0 || index > 6) return;
    m_nSelection = index;
    m_DateTime[4] = uint8_t(index);
    Refresh(CtrlRefresh::Value);
    Send(m_DateTime, sizeof m_DateTime);
}

void CCtrl::SelectListItem(int index) {
    if (!IsKind(TYPE_LIST)) return;
    m_nSelection = index < 0 ? -1 : index;
    Refresh(CtrlRefresh::Value); // the other list follows
    uint8_t bytes[4];
    PutU32LE(bytes, uint32_t(m_nSelection));
    Send(bytes, 4);
}

void CCtrl::RequestFile() {
    if (!IsKind(TYPE_FILE)) return;
    m_bFileRequested = 1;
    Send(nullptr, 0); // an empty value asks for the file
    Refresh(CtrlRefresh::Value);
}

void CCtrl::FileDelivered() {
    if (!IsKind(TYPE_FILE)) return;
    m_bFileRequested = 0;
    Refresh(CtrlRefresh::Value);
}

int CCtrl::LogIn(const QString& password) {
    if (!IsKind(TYPE_PASSWORD)) return LINK_E_KIND;
    return LinkLogIn(m_nId, U16(password));
}

int CCtrl::LogOut() {
    if (!IsKind(TYPE_PASSWORD)) return LINK_E_KIND;
    return LinkLogOut(m_nId);
}

int CCtrl::ChangePassword(const QString& oldPassword, const QString& newPassword) {
    if (!IsKind(TYPE_PASSWORD)) return LINK_E_KIND;
    return LinkChangePassword(m_nId, U16(oldPassword), U16(newPassword));
}

int CCtrl::SendAnswer(uint8_t answer) {
    if (!IsKind(TYPE_MESSAGEBOX)) return LINK_E_KIND;
    return LinkSendByte(m_nId, answer);
}
