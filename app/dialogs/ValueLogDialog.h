// The Log Values dialog: logging on or off, the panel's controls to log (a checkable list by
// name, all ticked unless left out before), the folder, and how much the folder's log files may
// take on the disk (in MiB).
#pragma once

#include <QDialog>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "ValueLogSettings.h"

class QCheckBox;
class QLineEdit;
class QListWidget;

class CValueLogDialog : public QDialog {
    Q_OBJECT
public:
    // `controls`: the panel's controls with values, by id and name.
    CValueLogDialog(const ValueLogSettings& settings,
                    const std::vector<std::pair<uint32_t, QString>>& controls,
                    const std::set<uint32_t>& skipped, QWidget* parent = nullptr);

    // After OK.
    const ValueLogSettings& Settings() const { return m_settings; }
    const std::set<uint32_t>& Skipped() const { return m_skipped; }

public slots:
    void accept() override;

private:
    void Browse();

    QCheckBox* m_pOn;
    QListWidget* m_pControls;
    QLineEdit* m_pFolder;
    QLineEdit* m_pLimit;
    ValueLogSettings m_settings;
    std::set<uint32_t> m_skipped;
};
