// What the settings dialogs tell the user: the integer check of a field, the same in every
// dialog, and plain warning boxes over a dialog.
#pragma once

#include <optional>

class QLineEdit;
class QString;
class QWidget;

struct IntRange {
    int min;
    int max;
};

// The field's integer. Otherwise none, after "Please enter an integer." (not a number) or
// "Please enter an integer between %1 and %2." (outside the range); the field then has the focus
// with its text selected, and the caller keeps its dialog open.
std::optional<int> ReadIntField(QLineEdit* field, std::optional<IntRange> range = std::nullopt);

// A modal warning box over the dialog; the text is shown as plain text.
void DialogMessage(QWidget* dialog, const QString& text);
