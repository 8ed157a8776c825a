// The host of every control's widgets: what is common to the kinds (fonts, colours, the title,
// the disabled state, placing, showing, destroying) and the choice of the kind's family.
#include "CtrlWidgets.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QLocale>
#include <QMessageBox>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "CellFont.h"
#include "CompactChart.h"
#include "CtrlColours.h"
#include "CtrlWidgetList.h"
#include "DesktopLinks.h"
#include "FrameThrottle.h"
#include "ImagePicture.h"
#include "KindWidgets.h"
#include "Link.h"
#include "MatrixDlg.h"
#include "MatrixViews.h"

namespace {

// Values streaming from the device are shown every third screen frame: 20 times a second a
// number is still easy to follow, and each showing costs its paint.
constexpr int kValueFrames = 3;

// Program faults: an operation met a kind it does not know.
enum : long {
    CP_FONT_KIND = 2210,
    CP_PLACE_KIND = 2390,
};

const QString kUnknownData = QStringLiteral(
    "This program does not know what to do with the data supplied by the remote device.");

const KindWidgets* FamilyOf(int type) {
    switch (type) {
    case TYPE_UNSUPPORTED:
    case TYPE_BUTTON:
    case TYPE_SECTION:
    case TYPE_MESSAGEBOX:
    case TYPE_BLOB:
    case TYPE_FILE:
    case TYPE_IMAGE:
        return &ButtonKindWidgets();
    case TYPE_TEXT:
        return &TextWidgets();
    case TYPE_LATCH:
        return &LatchWidgets();
    case TYPE_DATETIME:
        return &DateTimeWidgets();
    case TYPE_NUMBER:
        return &NumberWidgets();
    case TYPE_MATRIX:
        return &MatrixWidgets();
    case TYPE_PASSWORD:
        return &PasswordWidgets();
    case TYPE_LIST:
        return &ListWidgets();
    default:
        return nullptr;
    }
}

void Fault(const CCtrl& c, long checkPoint) {
    if (c.m_pParent) c.m_pParent->DiagnosticBox(checkPoint, CTRL_UNIT, 0);
}

// Replaces *slot with `font`; true when it changed.
bool Replace(QFont*& slot, const QFont& font) {
    if (slot && *slot == font) return false;
    if (slot)
        *slot = font;
    else
        slot = new QFont(font);
    return true;
}

void SetFont(QWidget* w, const QFont& font) {
    if (w->font() != font) w->setFont(font);
}

void ApplyEnabled(CCtrl& c) {
    const bool enabled = !(c.m_dwFlags & CTRLF_DISABLED);
    ForEachWidget(c, [enabled](QWidget* w) {
        if (w->isEnabled() != enabled) w->setEnabled(enabled);
    });
}

// Deleted once control is back in the event loop: a widget may be emitting the very signal
// whose handling discards the panel.
void Discard(QWidget* w, CCtrlWidgets* host) {
    QObject::disconnect(w, nullptr, host, nullptr);
    if (!w->isHidden()) w->hide();
    w->deleteLater();
}

template <class T> void Delete(T*& p) {
    delete p;
    p = nullptr;
}

} // namespace

CCtrlWidgets::CCtrlWidgets(QWidget* panel)
    : m_pPanel(panel), m_pTabStart(new QWidget(panel)),
      m_pValueFrame(new FrameThrottle([this] { ShowHeldValues(); }, this, kValueFrames)) {
    m_pTabStart->setFocusPolicy(Qt::TabFocus);
    m_pTabStart->hide();
    // What most controls use, inherited rather than set on each widget.
    panel->setFont(CellFont(CCtrl().m_nFontSize, false));
    panel->setPalette(PanelPalette(panel->palette()));
    opener = &SystemDesktopOpener();
    notice = [panel](const QString& text) {
        auto* box = new QMessageBox(QMessageBox::Information, QCoreApplication::applicationName(),
                                    text, QMessageBox::Ok, panel->window());
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        box->show();
    };
    filesDirectory = [] { return QFile::decodeName(LinkGetFilesDirectory().c_str()); };
}

CCtrlWidgets::~CCtrlWidgets() = default;

void CCtrlWidgets::CreateWidgets(CCtrl& c) {
    const KindWidgets* family = FamilyOf(c.m_nType);
    if (!family) return;
    if (m_pPanel->isVisible()) {
        m_pPanel->hide();
        m_bHiddenForBuild = true;
        // Shown by the view once the page is laid out; this only guards against a build that
        // is never laid out.
        QTimer::singleShot(0, this, &CCtrlWidgets::Reveal);
    }
    if (!m_bWhenShown) {
        Make(c, *family, false);
        return;
    }
    // The ids stay those of a panel made at once: whatever is keyed by them is unchanged.
    for (int i = 1; i < family->WindowIds(c) && c.m_pParent; ++i) c.m_pParent->NextWindowId();
    m_unmade[&c] = c.m_dwFlags;
}

void CCtrlWidgets::Make(CCtrl& c, const KindWidgets& family, bool late) {
    WidgetMaker make(c, m_pPanel, *this, late);
    family.Create(c, make);
    family.ShowValue(c);
    ApplyColours(c);
    ApplyEnabled(c);
}

bool CCtrlWidgets::MakeWidgets(CCtrl& c, QWidget* tabAfter) {
    const auto unmade = m_unmade.find(&c);
    if (unmade == m_unmade.end()) return false;
    const uint32_t createdWith = unmade->second;
    m_unmade.erase(unmade);
    // A new widget joins the end of its window's tab order.
    QWidget* window = m_pPanel->window();
    QWidget* before = window->previousInFocusChain();
    {
        const uint32_t flags = std::exchange(c.m_dwFlags, createdWith);
        Make(c, *FamilyOf(c.m_nType), true);
        c.m_dwFlags = flags;
    }
    // Where the control comes in the array, not when it was first shown.
    QWidget* last = tabAfter ? tabAfter : m_pTabStart;
    std::vector<QWidget*> made;
    for (QWidget* w = before->nextInFocusChain(); w != window; w = w->nextInFocusChain())
        if (w->parentWidget() == m_pPanel && w->focusPolicy() != Qt::NoFocus) made.push_back(w);
    for (QWidget* w : made) {
        QWidget::setTabOrder(last, w);
        last = w;
    }
    if (!made.empty()) m_tabEnd[&c] = last;
    PlaceWidgets(c);
    return true;
}

QWidget* CCtrlWidgets::LastInTabOrder(const CCtrl& c) const {
    const auto end = m_tabEnd.find(&c);
    return end == m_tabEnd.end() ? nullptr : end->second;
}

void CCtrlWidgets::Reveal() {
    if (!m_bHiddenForBuild) return;
    m_bHiddenForBuild = false;
    m_pPanel->show();
}

void CCtrlWidgets::RefreshWidgets(CCtrl& c, CtrlRefresh what) {
    switch (what) {
    case CtrlRefresh::Brush:
        if (c.m_hBrush)
            *c.m_hBrush = QBrush(ColourOf(c.m_crColour));
        else
            c.m_hBrush = new QBrush(ColourOf(c.m_crColour));
        ApplyColours(c);
        break;
    case CtrlRefresh::Fonts: {
        if (c.m_nType < 0 || c.m_nType > TYPE_LAST) {
            Fault(c, CP_FONT_KIND);
            return;
        }
        if (Replace(c.m_pFont, CellFont(c.m_nFontSize, c.m_bFontBold)))
            ForEachBodyWidget(c, [&c](QWidget* w) { SetFont(w, *c.m_pFont); });
        if (Replace(c.m_pTitleFont, CellFont(c.m_nTitleFontSize, c.m_bTitleBold)) && c.m_pTitle)
            SetFont(c.m_pTitle, *c.m_pTitleFont);
        break;
    }
    case CtrlRefresh::Value:
        if (!IsMade(c)) break; // shown when the widgets are made
        if (!m_bPaceValues) {
            ShowValue(c);
        } else {
            if (m_held.insert(&c).second) m_heldValues.push_back(&c);
            // Also for a control already held: near its frame, it is shown on this wake-up.
            m_pValueFrame->Request();
        }
        break;
    case CtrlRefresh::Attributes:
        ApplyColours(c);
        ApplyEnabled(c);
        if (c.m_pChart) c.m_pChart->update();
        break;
    case CtrlRefresh::MatrixData:
        ShowMatrixData(c);
        break;
    }
}

void CCtrlWidgets::ShowValue(CCtrl& c) {
    if (const KindWidgets* family = FamilyOf(c.m_nType)) family->ShowValue(c);
    ApplyColours(c);
    if (c.m_nType == TYPE_IMAGE && c.m_bImageShown)
        m_pPanel->update(c.m_rcCache[0], c.m_rcCache[1], c.m_rcCache[2], c.m_rcCache[3]);
}

void CCtrlWidgets::ShowHeldValues() {
    const std::vector<CCtrl*> held = std::exchange(m_heldValues, {});
    m_held.clear();
    for (CCtrl* c : held) ShowValue(*c);
}

void CCtrlWidgets::DestroyWidgets(CCtrl& c) {
    m_unmade.erase(&c);
    m_tabEnd.erase(&c);
    if (m_held.erase(&c))
        m_heldValues.erase(std::find(m_heldValues.begin(), m_heldValues.end(), &c));
    ClosePasswordDialog(c);
    if (c.m_pMatrixDlg) {
        QMetaObject::invokeMethod(c.m_pMatrixDlg, "close", Qt::QueuedConnection);
        c.m_pMatrixDlg = nullptr;
    }
    ForEachWidget(c, [this](QWidget* w) { Discard(w, this); });
    c.m_pTitle = nullptr;
    c.m_pButton = nullptr;
    c.m_pCheck = nullptr;
    c.m_pMomentary = nullptr;
    c.m_pValueText = nullptr;
    c.m_pBar = nullptr;
    c.m_pEdit = nullptr;
    c.m_pMinus = nullptr;
    c.m_pPlus = nullptr;
    c.m_pSlider = nullptr;
    c.m_pDatePicker = nullptr;
    c.m_pTimePicker = nullptr;
    c.m_pDropList = nullptr;
    c.m_pListBox = nullptr;
    c.m_pChart = nullptr;
    c.m_pTable = nullptr;
    Delete(c.m_pFont);
    Delete(c.m_pTitleFont);
    Delete(c.m_hBrush);
    ReleasePicture(c);
    m_refusedPictures.remove(&c);
}

void CCtrlWidgets::CreatePicture(CCtrl& c, const uint8_t* data, size_t size) {
    // The picture it replaces goes first: its memory is the panel's again.
    ReleasePicture(c);
    // Pictures share the panel's budget with the link's buffers for its controls.
    const size_t budget = LinkGetPanelBudget();
    const size_t used = std::min(budget, LinkGetPanelBytes() + m_nPictureBytes);
    bool tooLarge = false;
    // A refused file leaves an empty picture, as at creation.
    QImage picture = DecodeGifPicture(data, size, c.m_crColour, budget - used, &tooLarge);
    if (tooLarge) RefusePicture(c);
    c.m_nImageWidth = picture.width();
    c.m_nImageHeight = picture.height();
    m_nPictureBytes += size_t(picture.sizeInBytes());
    c.m_pBitmap = new QImage(std::move(picture));
    m_pPanel->update(c.m_rcCache[0], c.m_rcCache[1], c.m_rcCache[2], c.m_rcCache[3]);
}

void CCtrlWidgets::ReleasePicture(CCtrl& c) {
    if (c.m_pBitmap)
        m_nPictureBytes -= std::min(m_nPictureBytes, size_t(c.m_pBitmap->sizeInBytes()));
    Delete(c.m_pImageDC);
    Delete(c.m_pBitmap);
}

void CCtrlWidgets::RefusePicture(const CCtrl& c) {
    // Once per control; the refusals of one build or batch of values make one notice.
    if (m_refusedPictures.contains(&c)) return;
    m_refusedPictures.insert(&c);
    m_unreported << (c.m_strName.isEmpty() ? QStringLiteral("Image control %1").arg(c.m_nId)
                                           : QStringLiteral("\"%1\"").arg(c.m_strName));
    if (m_unreported.size() > 1) return;
    QTimer::singleShot(0, this, [this] {
        const QString budget = QLocale::c().formattedDataSize(qint64(LinkGetPanelBudget()), 0);
        const QString which =
            m_unreported.size() == 1
                ? QStringLiteral("The picture of %1 is").arg(m_unreported.front())
                : QStringLiteral("The pictures of %1 Image controls, the first %2, are")
                      .arg(m_unreported.size())
                      .arg(m_unreported.front());
        m_unreported.clear();
        notice(which + QStringLiteral(" not shown: the panel's controls and pictures would "
                                      "need more than %1 of memory.")
                           .arg(budget));
    });
}

void CCtrlWidgets::PlaceWidgets(CCtrl& c) {
    const KindWidgets* family = FamilyOf(c.m_nType);
    if (!family) {
        Fault(c, CP_PLACE_KIND);
        return;
    }
    if (!IsMade(c)) return; // placed when made
    const CtrlBox box(c);
    const bool second = (c.m_nType == TYPE_SECTION || c.m_nType == TYPE_PASSWORD) && c.m_bValue;
    Move(c.m_pTitle, second ? box.x2 : box.x, second ? box.y2 : box.y, second ? box.w2 : box.w,
         c.m_nTitleFontSize);
    family->Place(c, box);
    ApplyColours(c); // the style, which picks some colours, may have changed since the last time
    ApplyEnabled(c);
}

void CCtrlWidgets::ShowControl(CCtrl& c, bool visible) {
    const KindWidgets* family = FamilyOf(c.m_nType);
    if (!family) return;
    if (c.m_nType == TYPE_IMAGE && bool(c.m_bImageShown) != visible) {
        c.m_bImageShown = visible;
        m_pPanel->update(c.m_rcCache[0], c.m_rcCache[1], c.m_rcCache[2], c.m_rcCache[3]);
    }
    if (!IsMade(c)) return; // made by MakeWidgets before it is first shown
    SetShown(c.m_pTitle, visible && c.m_bShowTitle);
    family->Show(c, visible, *this);
}

bool CCtrlWidgets::OwnsWindow(const CCtrl& c, const QWidget* w) {
    if (!w) return false;
    if (c.m_nType == TYPE_BUTTON || c.m_nType == TYPE_SECTION) return w == c.m_pButton;
    bool owns = false;
    ForEachWidget(c, [&](QWidget* own) { owns = owns || own == w; });
    return owns;
}

void CCtrlWidgets::Notify(CCtrl& c, QWidget* w, CtrlNotify what) {
    const KindWidgets* family = FamilyOf(c.m_nType);
    if (!family || !family->Notify(c, w, what, *this)) Fault(c, CP_USER_ACT_KIND);
}

void CCtrlWidgets::OpenFile(CCtrl& c, const QString& name) {
    const bool asked = c.m_bFileRequested;
    c.FileDelivered();
    if (!asked || c.m_nType != TYPE_FILE || DataTypeOf(c.m_dwFlags) != DATA_TYPE_WEB) return;
    if (const auto url = ReceivedFileUrl(filesDirectory(), name)) {
        // Not while the caller may hold the link lock: starting a program takes its time.
        QTimer::singleShot(0, this, [this, url = *url] { OpenOnDesktop(*opener, url, notice); });
    }
}

void CCtrlWidgets::ClosePasswordDialog(CCtrl& c) {
    if (!c.m_pPasswordDlg) return;
    QMetaObject::invokeMethod(c.m_pPasswordDlg, "close", Qt::QueuedConnection);
    c.m_pPasswordDlg = nullptr;
}

void CCtrlWidgets::OpenBlob(const CCtrl& c) {
    if (const auto url = BlobWebAddress(c))
        OpenOnDesktop(*opener, *url, notice);
    else
        notice(kUnknownData);
}

// OpenMatrixDialog runs the dialog (m_pMatrixDlg while it is open); ShowMatrixData gives the chart
// window its compact chart and m_pTable its table model over the record on first use, then
// refreshes them (m_nListRows) and the open dialog.
void CCtrlWidgets::OpenMatrixDialog(CCtrl& c) {
    ::OpenMatrixDialog(c, m_pPanel->window());
}

void CCtrlWidgets::ShowMatrixData(CCtrl& c) {
    if (c.m_pChart && !CompactChart::Of(c.m_pChart)) AttachMatrixViews(c, c.m_pChart, nullptr);
    if (c.m_pTable && !c.m_pTable->model()) AttachMatrixViews(c, nullptr, c.m_pTable);
    RefreshMatrixViews(c, c.m_pChart, c.m_pTable);
}
