#include "MqttDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>

#include "MqttClient.h"
#include "WindowModal.h"

MqttDialog::MqttDialog(const MqttSettings& s, const QString& password, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("MQTT"));
    auto* form = new QFormLayout(this);
    m_pBroker = new QLineEdit(s.broker, this);
    m_pBroker->setPlaceholderText(QStringLiteral("mqtt://localhost:1883 (empty: no MQTT)"));
    m_pUser = new QLineEdit(s.user, this);
    m_pPassword = new QLineEdit(password, this);
    m_pPassword->setEchoMode(QLineEdit::Password);
    m_pPassword->setPlaceholderText(QStringLiteral("(kept in the keychain; empty: unchanged)"));
    m_pPrefix = new QLineEdit(s.prefix, this);
    m_pPrefix->setPlaceholderText(QStringLiteral("talvex/<panel title>"));
    m_pDiscovery = new QCheckBox(QStringLiteral("&Home Assistant discovery"), this);
    m_pDiscovery->setChecked(s.discovery);
    m_pCaFile = new QLineEdit(s.caFile, this);
    m_pCaFile->setPlaceholderText(QStringLiteral("the system's CAs"));
    // Wide enough for the longest hint, so that none is cut off.
    const int fieldWidth = fontMetrics().horizontalAdvance(m_pPassword->placeholderText()) + 24;
    for (QLineEdit* field : {m_pBroker, m_pUser, m_pPassword, m_pPrefix, m_pCaFile})
        field->setMinimumWidth(fieldWidth);
    form->addRow(QStringLiteral("&Broker:"), m_pBroker);
    form->addRow(QStringLiteral("&User:"), m_pUser);
    form->addRow(QStringLiteral("&Password:"), m_pPassword);
    form->addRow(QStringLiteral("P&refix:"), m_pPrefix);
    form->addRow(QString(), m_pDiscovery);
    form->addRow(QStringLiteral("&CA file (mqtts):"), m_pCaFile);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &MqttDialog::Check);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void MqttDialog::Check() {
    const QString url = m_pBroker->text().trimmed();
    MqttOptions options;
    std::string error;
    if (!url.isEmpty() && !ParseMqttUrl(url.toStdString(), options, error)) {
        QMessageBox box(QMessageBox::Warning, windowTitle(), QString::fromStdString(error),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        ExecWindowModal(box);
        return;
    }
    accept();
}

MqttSettings MqttDialog::Settings() const {
    MqttSettings s;
    s.broker = m_pBroker->text().trimmed();
    s.user = m_pUser->text().trimmed();
    s.prefix = m_pPrefix->text().trimmed();
    s.discovery = m_pDiscovery->isChecked();
    s.caFile = m_pCaFile->text().trimmed();
    return s;
}

QString MqttDialog::Password() const {
    return m_pPassword->text();
}
