#include "ControlLayout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "DialogButtons.h"
#include "DialogMessages.h"

CControlLayout::CControlLayout(const QStringList& styleNames, const ControlLayoutValues& initial,
                               bool severalControls, QWidget* parent)
    : QDialog(parent), m_values(initial), m_pStyle(new QComboBox(this)),
      m_pFontBold(new QCheckBox(QStringLiteral("Bold"), this)),
      m_pBorder(new QCheckBox(QStringLiteral("Show Border"), this)),
      m_pShowTitle(new QCheckBox(QStringLiteral("Show Control Title"), this)),
      m_pTitleBold(new QCheckBox(QStringLiteral("Bold"), this)), m_pGrid(new QGridLayout) {
    setWindowTitle(QStringLiteral("Control Layout..."));

    auto* styleLabel = new QLabel(QStringLiteral("Control Style"), this);
    styleLabel->setBuddy(m_pStyle);
    m_pStyle->addItems(styleNames);
    m_pStyle->setCurrentIndex(initial.style);
    m_pGrid->addWidget(styleLabel, 0, 0);
    m_pGrid->addWidget(m_pStyle, 0, 1, 1, 3);

    m_pX = AddNumber(QStringLiteral("X Position"), initial.x, 1, 0);
    m_pY = AddNumber(QStringLiteral("Y Position"), initial.y, 1, 2);
    m_pWidth = AddNumber(QStringLiteral("Width"), initial.width, 2, 0);
    m_pHeight = AddNumber(QStringLiteral("Height"), initial.height, 2, 2);
    m_pPage = AddNumber(QStringLiteral("Page"), initial.page, 3, 0);
    m_pGrid->addWidget(
        new QLabel(QStringLiteral("The first page is 0.  Enter -1 to appear on all pages."), this),
        3, 2, 1, 2);
    m_pFontSize = AddNumber(QStringLiteral("Font Size"), initial.fontSize, 4, 0);
    m_pFontBold->setObjectName(QStringLiteral("fontBold"));
    m_pFontBold->setChecked(initial.fontBold);
    m_pGrid->addWidget(m_pFontBold, 4, 2);
    m_pBorder->setChecked(initial.border);
    m_pGrid->addWidget(m_pBorder, 5, 0, 1, 2);
    m_pShowTitle->setChecked(initial.showTitle);
    m_pGrid->addWidget(m_pShowTitle, 5, 2, 1, 2);
    m_pTitleSize = AddNumber(QStringLiteral("Title Size"), initial.titleSize, 6, 0);
    m_pTitleBold->setObjectName(QStringLiteral("titleBold"));
    m_pTitleBold->setChecked(initial.titleBold);
    m_pGrid->addWidget(m_pTitleBold, 6, 2);

    for (QWidget* w : {static_cast<QWidget*>(m_pStyle), static_cast<QWidget*>(m_pX),
                       static_cast<QWidget*>(m_pY), static_cast<QWidget*>(m_pPage)})
        w->setEnabled(!severalControls);

    QHBoxLayout* buttons = OkCancelRow(this);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_pGrid);
    layout->addWidget(
        new QLabel(QStringLiteral("Changes may not be visible before reconnecting."), this));
    layout->addLayout(buttons);
}

QLineEdit* CControlLayout::AddNumber(const QString& label, int value, int row, int column) {
    auto* edit = new QLineEdit(QString::number(value), this);
    auto* text = new QLabel(label, this);
    text->setBuddy(edit);
    m_pGrid->addWidget(text, row, column);
    m_pGrid->addWidget(edit, row, column + 1);
    return edit;
}

void CControlLayout::accept() {
    ControlLayoutValues v = m_values;
    struct Field {
        QLineEdit* edit;
        int* target;
        std::optional<IntRange> range;
    };
    // In the order of the form; the boxes disabled for several controls keep their values.
    for (const Field& f :
         {Field{m_pX, &v.x, {}}, Field{m_pY, &v.y, {}}, Field{m_pWidth, &v.width, {}},
          Field{m_pHeight, &v.height, {}}, Field{m_pPage, &v.page, {}},
          Field{m_pFontSize, &v.fontSize, IntRange{1, 1000000}},
          Field{m_pTitleSize, &v.titleSize, {}}}) {
        if (!f.edit->isEnabled()) continue;
        const std::optional<int> n = ReadIntField(f.edit, f.range);
        if (!n) return;
        *f.target = *n;
    }
    if (m_pStyle->isEnabled() && m_pStyle->currentIndex() >= 0) v.style = m_pStyle->currentIndex();
    v.fontBold = m_pFontBold->isChecked();
    v.border = m_pBorder->isChecked();
    v.showTitle = m_pShowTitle->isChecked();
    v.titleBold = m_pTitleBold->isChecked();
    m_values = v;
    QDialog::accept();
}
