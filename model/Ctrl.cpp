// Construction, common initialisation, styles and fonts of a control record.
#include "Ctrl.h"

#include <algorithm>

CCtrl::CCtrl() = default;

CCtrl::~CCtrl() {
    if (m_pParent) m_pParent->DestroyWidgets(*this);
}

void CCtrl::Init(const LinkSummary& summary, ICtrlHost* host) {
    m_nType = TYPE_UNSUPPORTED;
    m_nId = summary.nId;
    m_nWndId = host ? host->NextWindowId() : 0;
    m_dwFlags = summary.dwFlags;
    m_crColour = summary.crColour;
    m_pParent = host;
    Refresh(CtrlRefresh::Brush);
    m_bValue = 0;
    m_rcCache = {-1, -1, -1, -1};
    m_strName = QString::fromStdU16String(summary.strName);
    m_nFontSize = 20;
    m_nWidth = 117;
    m_nHeight = 57;
    Refresh(CtrlRefresh::Fonts);
}

int CCtrl::StyleCount() const {
    switch (m_nType) {
    case TYPE_TEXT:
    case TYPE_NUMBER:
        return IsEditable() ? 2 : 1;
    case TYPE_LATCH:
        return m_nGroup ? 1 : 2;
    case TYPE_LIST:
        return 2;
    case TYPE_MATRIX:
        return 4;
    case TYPE_IMAGE:
        return 0;
    default:
        return 1;
    }
}

QString CCtrl::StyleName(int style) const {
    static const char* const kText[] = {"Text", "Text with OK"};
    static const char* const kLatch[] = {"Latch", "Check Box"};
    static const char* const kNumber[] = {"Number with OK", "Number with spin"};
    static const char* const kMatrix[] = {"Line Chart", "Column Chart", "Points Chart", "Table"};
    static const char* const kList[] = {"List (Dropdown)", "List Box"};
    static const char* const kSingle[] = {
        "???", "Button",      "",     "",     "Section", "Date/Time (Inline)", "", "", "Password",
        "",    "Message Box", "Blob", "File", "Image",
    };
    auto pick = [style](const char* const* names, int count) {
        return QString::fromLatin1(names[std::clamp(style, 0, count - 1)]);
    };
    switch (m_nType) {
    case TYPE_TEXT:
        return pick(kText, 2);
    case TYPE_LATCH:
        return pick(kLatch, 2);
    case TYPE_NUMBER:
        return pick(kNumber, 2);
    case TYPE_MATRIX:
        return pick(kMatrix, 4);
    case TYPE_LIST:
        return pick(kList, 2);
    default:
        if (m_nType < 0 || m_nType > TYPE_LAST) return QString();
        return QString::fromLatin1(kSingle[m_nType]);
    }
}

void CCtrl::SetFontSize(int size, bool bold) {
    m_nFontSize = size;
    m_bFontBold = bold ? 1 : 0;
    if (m_nType == TYPE_MESSAGEBOX) return;
    if (m_nType == TYPE_SECTION || (m_nType == TYPE_LATCH && m_nStyle == 0))
        m_bFontBold = m_bValue ? 1 : 0;
    Refresh(CtrlRefresh::Fonts);
}

void CCtrl::SetTitleFont(int size, bool bold) {
    m_nTitleFontSize = size;
    m_bTitleBold = bold ? 1 : 0;
    Refresh(CtrlRefresh::Fonts);
}

void CCtrl::ApplyValueFont() {
    if (m_nType == TYPE_SECTION || (m_nType == TYPE_LATCH && m_nStyle == 0))
        SetFontSize(m_nFontSize, m_bFontBold != 0);
}

std::pair<int, int> CCtrl::SliderRange() const {
    if (m_nMin < m_nMax) return {m_nMin, m_nMax};
    return {0, 100};
}

int32_t CCtrl::Clamped(int32_t value) const {
    if ((m_dwFlags & CTRLF_CLAMP_MIN) && value < m_nMin) value = m_nMin;
    if ((m_dwFlags & CTRLF_CLAMP_MAX) && value > m_nMax) value = m_nMax;
    return value;
}

void CCtrl::Refresh(CtrlRefresh what) {
    if (m_pParent) m_pParent->RefreshWidgets(*this, what);
}

void CCtrl::Diagnostic(long checkPoint) const {
    if (m_pParent) m_pParent->DiagnosticBox(checkPoint, CTRL_UNIT, 0);
}

void CCtrl::SizeAlarm(long checkPoint) const {
    if (!m_pParent) return;
    m_pParent->SizeAlarm(checkPoint, CTRL_UNIT);
    m_pParent->QuitRequest();
}

bool CCtrl::IsKind(int type) const {
    if (m_nType == type) return true;
    Diagnostic(CP_USER_ACT_KIND);
    return false;
}
