#include "DeviceMessageBox.h"

#include <QAbstractButton>
#include <QMessageBox>
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

} // namespace

QMessageBox* ShowDeviceMessageBox(const CCtrl& c, QWidget* parent,
                                  std::function<void(int answer)> closed) {
    const uint32_t flags = c.m_dwFlags;
    auto* box =
        new QMessageBox(IconOf(flags), c.m_strName, c.m_strText, QMessageBox::NoButton, parent);
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    for (BoxButton b : MessageBoxButtons(flags))
        for (auto [button, standard] : kButtons)
            if (button == b) box->addButton(standard);
    QObject::connect(box, &QMessageBox::finished, box, [box, flags, closed = std::move(closed)] {
        int answer = 0;
        if (QAbstractButton* clicked = box->clickedButton())
            for (auto [button, standard] : kButtons)
                if (box->standardButton(clicked) == standard)
                    answer = MessageBoxAnswer(flags, button);
        closed(answer);
    });
    box->show();
    return box;
}
