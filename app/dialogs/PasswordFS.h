// The Password dialog of a Password control: change the device password (old, new, new again),
// log out, or close. Escape closes it without sending anything. The control is held by its
// device id, so the dialog stays safe when the panel is rebuilt while it is open.
#pragma once

#include <QDialog>
#include <cstdint>

class QLineEdit;

class CPasswordFS : public QDialog {
    Q_OBJECT
public:
    explicit CPasswordFS(uint32_t ctrlId, QWidget* parent = nullptr);

    uint32_t CtrlId() const { return m_nCtrlId; }

private:
    void OnChange();
    void OnLogOut();

    uint32_t m_nCtrlId;
    QLineEdit* m_pOld;
    QLineEdit* m_pNew;
    QLineEdit* m_pAgain;
};
