#include "PingSettings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "DialogButtons.h"
#include "DialogMessages.h"

PingSettings::PingSettings(bool on, int seconds, QWidget* parent)
    : QDialog(parent),
      m_pOn(new QCheckBox(QStringLiteral("Confirm presence of remote device "), this)),
      m_pSeconds(new QLineEdit(QString::number(seconds), this)), m_bPingOn(on),
      m_nSeconds(seconds) {
    setWindowTitle(QStringLiteral("Ping Settings..."));
    m_pOn->setChecked(on);
    m_pSeconds->setEnabled(on);
    m_pSeconds->setMaximumWidth(100);
    connect(m_pOn, &QCheckBox::toggled, m_pSeconds, &QWidget::setEnabled);

    auto* every = new QLabel(QStringLiteral("Confirm every"), this);
    every->setBuddy(m_pSeconds);
    auto* period = new QHBoxLayout;
    period->addWidget(every);
    period->addWidget(m_pSeconds);
    period->addWidget(new QLabel(QStringLiteral("seconds"), this));
    period->addStretch();

    QHBoxLayout* buttons = OkCancelRow(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pOn);
    layout->addLayout(period);
    layout->addLayout(buttons);
}

void PingSettings::accept() {
    const bool on = m_pOn->isChecked();
    int seconds = m_nSeconds;
    // A disabled box cannot take the focus, so only a period in use is checked.
    if (on) {
        const std::optional<int> typed = ReadIntField(m_pSeconds, IntRange{1, 10000000});
        if (!typed) return;
        seconds = *typed;
    }
    m_bPingOn = on;
    m_nSeconds = seconds;
    QDialog::accept();
}
