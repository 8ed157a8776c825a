#include "ControlSelect.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "ControlLayout.h"
#include "Ctrl.h"
#include "Talvex22View.h"
#include "WindowModal.h"

namespace {

bool HasSecondRect(const CCtrl& c) {
    return c.m_nType == TYPE_SECTION || c.m_nType == TYPE_PASSWORD;
}

// The rectangle in use: the second one of an open Section or a logged-in Password.
struct ActiveRect {
    int& x;
    int& y;
    int& width;
    int& height;
    int& page;
};

ActiveRect ActiveRectOf(CCtrl& c) {
    if (HasSecondRect(c) && c.m_bValue)
        return {c.m_nX2, c.m_nY2, c.m_nWidth2, c.m_nHeight2, c.m_nPage2};
    return {c.m_nX, c.m_nY, c.m_nWidth, c.m_nHeight, c.m_nPage};
}

QString LineText(const CCtrl& c) {
    QString text;
    if (std::optional<QString> known = c.ControlText())
        text = *known;
    else if (c.m_pEdit)
        text = c.m_pEdit->text();
    else if (c.m_nType == TYPE_TEXT) // not shown yet: its edit box will show the value
        text = c.m_strText;
    else if (c.m_nType == TYPE_NUMBER)
        text = c.NumberEditText();
    else if (c.m_nType == TYPE_DATETIME)
        text = c.DateTimeText();
    if (HasSecondRect(c))
        text = QStringLiteral("%1 %2").arg(text, c.m_bValue ? QStringLiteral("(open)")
                                                            : QStringLiteral("(closed)"));
    return text;
}

ControlLayoutValues ValuesOf(CCtrl& c) {
    const ActiveRect r = ActiveRectOf(c);
    ControlLayoutValues v;
    v.style = c.m_nStyle;
    v.x = r.x;
    v.y = r.y;
    v.width = r.width;
    v.height = r.height;
    v.page = r.page;
    v.fontSize = c.GetFontSize();
    v.fontBold = c.GetFontBold();
    v.border = c.m_bBorder != 0;
    v.showTitle = c.m_bShowTitle != 0;
    v.titleSize = c.GetTitleFontSize();
    v.titleBold = c.GetTitleBold();
    return v;
}

void Apply(CCtrl& c, const ControlLayoutValues& v, bool several) {
    const ActiveRect r = ActiveRectOf(c);
    if (!several) {
        r.x = v.x;
        r.y = v.y;
        r.page = v.page;
        c.m_nStyle = v.style;
    }
    r.width = v.width;
    r.height = v.height;
    c.SetFontSize(v.fontSize, v.fontBold);
    c.SetTitleFont(v.titleSize, v.titleBold);
    c.m_bAutoLayout = 0;
    c.m_bBorder = v.border;
    c.m_bShowTitle = v.showTitle;
}

} // namespace

CControlSelect::CControlSelect(CTalvex22View& view, QWidget* parent)
    : QDialog(parent), m_view(view), m_pList(new QListWidget(this)),
      m_pModify(new QPushButton(QStringLiteral("Modify..."), this)) {
    setWindowTitle(QStringLiteral("Layout Controls..."));
    auto* label = new QLabel(QStringLiteral("Select control(s) to modify:"), this);
    label->setBuddy(m_pList);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(m_pList, &QListWidget::itemSelectionChanged, this,
            [this] { m_pModify->setEnabled(!m_pList->selectedItems().isEmpty()); });
    connect(m_pList, &QListWidget::itemDoubleClicked, this, &CControlSelect::Modify);

    m_pModify->setAutoDefault(false);
    connect(m_pModify, &QPushButton::clicked, this, &CControlSelect::Modify);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &CControlSelect::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pModify);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_pList);
    layout->addLayout(buttons);

    FillList();
    connect(&m_view, &CTalvex22View::PanelLaidOut, this, &CControlSelect::FillList);
}

void CControlSelect::FillList() {
    const std::vector<uint32_t> before = SelectedIds();
    const std::set<uint32_t> keep(before.begin(), before.end());
    m_pList->clear();
    for (const auto& c : m_view.Controls()) {
        if ((c->m_dwFlags & CTRLF_HIDDEN) && c->m_nType != TYPE_MESSAGEBOX) continue;
        auto* item = new QListWidgetItem(LineText(*c), m_pList);
        item->setData(Qt::UserRole, uint(c->m_nId));
        item->setSelected(keep.count(c->m_nId) != 0);
    }
    m_pModify->setEnabled(!m_pList->selectedItems().isEmpty());
}

std::vector<uint32_t> CControlSelect::SelectedIds() const {
    std::vector<uint32_t> ids;
    for (int row = 0; row < m_pList->count(); ++row)
        if (m_pList->item(row)->isSelected())
            ids.push_back(m_pList->item(row)->data(Qt::UserRole).toUInt());
    return ids;
}

void CControlSelect::Modify() {
    const std::vector<uint32_t> ids = SelectedIds();
    if (ids.empty()) return;
    // The records may be replaced while Control Layout is open: none is held across it.
    QStringList styles;
    ControlLayoutValues initial;
    if (CCtrl* first = FindCtrl(m_view.Controls(), ids.front())) {
        for (int i = 0; i < first->StyleCount(); ++i) styles << first->StyleName(i);
        initial = ValuesOf(*first);
    } else {
        return;
    }
    const bool several = ids.size() > 1;
    CControlLayout layout(styles, initial, several, this);
    if (ExecWindowModal(layout) != QDialog::Accepted || !m_view.m_bConnected) return;
    for (uint32_t id : ids)
        if (CCtrl* c = FindCtrl(m_view.Controls(), id)) Apply(*c, layout.Values(), several);
}
