// The About box: product line and the build date and time.
#pragma once

class QWidget;

void ShowAboutBox(QWidget* parent);
