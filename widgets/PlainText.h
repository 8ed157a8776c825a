// Device texts are shown as plain text only: never rich text, never a format string.
#pragma once

#include <QString>

class QLabel;
class QWidget;

// A label that shows `text` literally.
QLabel* MakePlainLabel(const QString& text, QWidget* parent = nullptr);
