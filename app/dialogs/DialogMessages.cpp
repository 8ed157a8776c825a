#include "DialogMessages.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>

#include "WindowModal.h"

void DialogMessage(QWidget* dialog, const QString& text) {
    QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(), text,
                    QMessageBox::Ok, dialog);
    box.setTextFormat(Qt::PlainText);
    ExecWindowModal(box);
}

std::optional<int> ReadIntField(QLineEdit* field, std::optional<IntRange> range) {
    bool ok = false;
    const int value = field->text().trimmed().toInt(&ok, 10);
    QString problem;
    if (!ok)
        problem = QStringLiteral("Please enter an integer.");
    else if (range && (value < range->min || value > range->max))
        problem = QStringLiteral("Please enter an integer between %1 and %2.")
                      .arg(range->min)
                      .arg(range->max);
    if (problem.isEmpty()) return value;
    DialogMessage(field->window(), problem);
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    return std::nullopt;
}
