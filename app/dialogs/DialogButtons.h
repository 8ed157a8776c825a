// The OK / Cancel row at the foot of the settings dialogs: OK is the default button and accepts,
// Cancel rejects.
#pragma once

class QDialog;
class QHBoxLayout;

QHBoxLayout* OkCancelRow(QDialog* dialog);
