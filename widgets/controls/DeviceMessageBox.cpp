#include "DeviceMessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <utility>

#include "Ctrl.h"
#include "MessageBoxAnswer.h"

namespace {

constexpr std::pair<BoxButton, QMessageBox::StandardButton> kButtons[] = {
    {BoxButton::Ok, QMessageBox::Ok},         {BoxButton::Cancel, QMessageBox::Cancel},
    {BoxButton::Abort, QMessageBox::Abort},   {BoxButton::Retry, QMessageBox::Retry},
    {BoxButton::Ignore, QMessageBox::Ignore}, {BoxButton::Yes, QMessageBox::Yes},
    {BoxButton::No, QMessageBox::No}};

QMessageBox::Icon IconOf(uint32_t flags) {
    switch (MessageBoxIcon(flags)) {
    case BoxIcon::Exclamation:
        return QMessageBox::Warning;
    case BoxIcon::Question:
        return QMessageBox::Question;
    case BoxIcon::Information:
        return QMessageBox::Information;
    case BoxIcon::Stop:
        break;
    }
    return QMessageBox::Critical;
}

class DeviceBox : public QMessageBox {
public:
    DeviceBox(const CCtrl& c, QWidget* owner)
        : QMessageBox(IconOf(c.m_dwFlags), c.m_strName, c.m_strText, QMessageBox::NoButton),
          m_pOwner(owner) {
        setTextFormat(Qt::PlainText);
        setAttribute(Qt::WA_DeleteOnClose);
        // The program's end does not wait for an answer.
        setAttribute(Qt::WA_QuitOnClose, false);
        // No parent: a dialog modal to the program's window cannot block it. Kept on top, it is
        // never lost behind one.
        setWindowFlag(Qt::WindowStaysOnTopHint);
        setWindowModality(Qt::NonModal);
        const std::vector<BoxButton> buttons = MessageBoxButtons(c.m_dwFlags);
        for (BoxButton b : buttons)
            for (auto [button, standard] : kButtons)
                if (button == b) {
                    QAbstractButton* added = addButton(standard);
                    if (b == BoxButton::Cancel || buttons.size() == 1) m_pOnClose = added;
                }
        connect(this, &QMessageBox::buttonClicked, this,
                [this](QAbstractButton* b) { m_pChosen = b; });
    }
    // The button the person chose (closing counts where it may), null for none.
    QAbstractButton* Chosen() const { return m_pChosen; }
    void Dismiss() {
        m_bDismissed = true;
        done(QDialog::Rejected);
    }

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (m_pOwner) adjustPosition(m_pOwner->window());
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!event->matches(QKeySequence::Cancel)) return QMessageBox::keyPressEvent(event);
        if (m_pOnClose) m_pOnClose->click();
    }
    void closeEvent(QCloseEvent* event) override {
        if (!m_pChosen && !m_bDismissed) {
            if (!m_pOnClose && m_pOwner && m_pOwner->isVisible()) {
                event->ignore();
                return;
            }
            m_pChosen = m_pOnClose;
        }
        QMessageBox::closeEvent(event);
    }

private:
    QPointer<QWidget> m_pOwner;
    QAbstractButton* m_pOnClose = nullptr; // what closing means: Cancel, or OK alone
    QAbstractButton* m_pChosen = nullptr;
    bool m_bDismissed = false;
};

} // namespace

QMessageBox* ShowDeviceMessageBox(const CCtrl& c, QWidget* owner,
                                  std::function<void(int answer)> closed) {
    const uint32_t flags = c.m_dwFlags;
    auto* box = new DeviceBox(c, owner);
    if (owner) {
        // Not a child of the owner, yet gone with it, and never answering to an owner gone.
        QObject::connect(owner, &QObject::destroyed, box, [box] {
            box->hide();
            box->deleteLater();
        });
    }
    QObject* context = owner ? static_cast<QObject*>(owner) : box;
    QObject::connect(box, &QMessageBox::finished, context,
                     [box, flags, closed = std::move(closed)] {
                         int answer = 0;
                         if (QAbstractButton* chosen = box->Chosen())
                             for (auto [button, standard] : kButtons)
                                 if (box->standardButton(chosen) == standard)
                                     answer = MessageBoxAnswer(flags, button);
                         closed(answer);
                     });
    box->show();
    return box;
}

void DismissDeviceMessageBox(QMessageBox* box) {
    if (auto* device = dynamic_cast<DeviceBox*>(box); device && device->isVisible())
        device->Dismiss();
}

void DismissDeviceMessageBoxes() {
    for (QWidget* w : QApplication::topLevelWidgets())
        DismissDeviceMessageBox(qobject_cast<QMessageBox*>(w));
}
