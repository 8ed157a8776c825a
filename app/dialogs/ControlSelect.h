// The Layout Controls dialog: lists the panel's controls (those not hidden, and every Message
// Box), and Modify... (or a double click) opens Control Layout for the selected ones, whose
// changes it applies when the view is still connected. Controls are held by their device ids,
// never by pointer: the panel may be rebuilt while the dialog is open, and the list is then
// filled again.
#pragma once

#include <QDialog>
#include <cstdint>
#include <vector>

class CTalvex22View;
class QListWidget;
class QPushButton;

class CControlSelect : public QDialog {
    Q_OBJECT
public:
    explicit CControlSelect(CTalvex22View& view, QWidget* parent = nullptr);

    // Opens Control Layout for the selected lines and applies its values.
    void Modify();

private:
    void FillList();
    std::vector<uint32_t> SelectedIds() const;

    CTalvex22View& m_view;
    QListWidget* m_pList;
    QPushButton* m_pModify;
};
