#include "ValueLogDialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "DialogButtons.h"
#include "DialogMessages.h"
#include "WindowModal.h"

CValueLogDialog::CValueLogDialog(const ValueLogSettings& settings,
                                 const std::vector<std::pair<uint32_t, QString>>& controls,
                                 const std::set<uint32_t>& skipped, QWidget* parent)
    : QDialog(parent), m_pOn(new QCheckBox(QStringLiteral("&Log values to files"), this)),
      m_pControls(new QListWidget(this)), m_pFolder(new QLineEdit(settings.folder, this)),
      m_pLimit(new QLineEdit(QString::number(settings.limitMiB), this)), m_settings(settings),
      m_skipped(skipped) {
    setWindowTitle(QStringLiteral("Log Values..."));
    m_pOn->setChecked(settings.on);
    for (const auto& [id, name] : controls) {
        // A device's name is plain text in a list item.
        auto* item = new QListWidgetItem(name, m_pControls);
        item->setData(Qt::UserRole, uint(id));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(skipped.count(id) ? Qt::Unchecked : Qt::Checked);
    }
    auto* controlsLabel = new QLabel(QStringLiteral("&Controls to log:"), this);
    controlsLabel->setBuddy(m_pControls);

    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, &CValueLogDialog::Browse);
    auto* folderLabel = new QLabel(QStringLiteral("&Folder:"), this);
    folderLabel->setBuddy(m_pFolder);
    auto* limitLabel = new QLabel(QStringLiteral("Log files take at &most"), this);
    limitLabel->setBuddy(m_pLimit);
    m_pLimit->setMaximumWidth(100);
    auto* fields = new QGridLayout;
    fields->addWidget(folderLabel, 0, 0);
    fields->addWidget(m_pFolder, 0, 1);
    fields->addWidget(browse, 0, 2);
    fields->addWidget(limitLabel, 1, 0);
    auto* limit = new QHBoxLayout;
    limit->addWidget(m_pLimit);
    limit->addWidget(new QLabel(QStringLiteral("MiB, the oldest removed first"), this));
    limit->addStretch();
    fields->addLayout(limit, 1, 1, 1, 2);

    QHBoxLayout* buttons = OkCancelRow(this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pOn);
    layout->addWidget(controlsLabel);
    layout->addWidget(m_pControls);
    layout->addLayout(fields);
    layout->addLayout(buttons);
}

void CValueLogDialog::Browse() {
    QFileDialog chooser(this, QStringLiteral("Folder for Value Logs"), m_pFolder->text());
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    if (ExecWindowModal(chooser) == QDialog::Accepted && !chooser.selectedFiles().isEmpty())
        m_pFolder->setText(chooser.selectedFiles().first());
}

void CValueLogDialog::accept() {
    const std::optional<int> limit = ReadIntField(m_pLimit, IntRange{1, 1 << 20});
    if (!limit) return;
    const QString folder = m_pFolder->text().trimmed();
    if (m_pOn->isChecked() && folder.isEmpty()) {
        DialogMessage(this, QStringLiteral("Please choose a folder for the value logs."));
        m_pFolder->setFocus();
        return;
    }
    m_settings.on = m_pOn->isChecked();
    m_settings.folder = folder;
    m_settings.limitMiB = *limit;
    // Controls not in the list (another panel's, or gone) keep their choice.
    for (int row = 0; row < m_pControls->count(); ++row) {
        const QListWidgetItem* item = m_pControls->item(row);
        const uint32_t id = item->data(Qt::UserRole).toUInt();
        if (item->checkState() == Qt::Checked)
            m_skipped.erase(id);
        else
            m_skipped.insert(id);
    }
    QDialog::accept();
}
