#include "PasswordFS.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "DialogMessages.h"
#include "Link.h"

namespace {

QLineEdit* MaskedEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

} // namespace

CPasswordFS::CPasswordFS(uint32_t ctrlId, QWidget* parent)
    : QDialog(parent), m_nCtrlId(ctrlId), m_pOld(MaskedEdit(this)), m_pNew(MaskedEdit(this)),
      m_pAgain(MaskedEdit(this)) {
    setWindowTitle(QStringLiteral("Password"));
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Old Password:"), m_pOld);
    fields->addRow(QStringLiteral("New Password:"), m_pNew);
    fields->addRow(QStringLiteral("New Password Again:"), m_pAgain);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &CPasswordFS::accept);
    auto* change = new QPushButton(QStringLiteral("Change"), this);
    change->setAutoDefault(false);
    connect(change, &QPushButton::clicked, this, &CPasswordFS::OnChange);
    auto* logOut = new QPushButton(QStringLiteral("Log Out"), this);
    logOut->setAutoDefault(false);
    connect(logOut, &QPushButton::clicked, this, &CPasswordFS::OnLogOut);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(change);
    buttons->addWidget(logOut);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
}

void CPasswordFS::OnChange() {
    if (m_pNew->text() != m_pAgain->text()) {
        DialogMessage(this,
                      QStringLiteral("The two versions of the new password are not the same"));
        m_pAgain->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (LinkChangePassword(m_nCtrlId, m_pOld->text().toStdU16String(),
                           m_pNew->text().toStdU16String()) == LINK_E_KIND) {
        DialogMessage(this, QStringLiteral("Password is not valid"));
        m_pNew->setFocus(Qt::OtherFocusReason);
        return;
    }
    accept();
}

void CPasswordFS::OnLogOut() {
    LinkLogOut(m_nCtrlId);
    accept();
}
