// The surface the panel's controls are laid out on. Until a control has widgets of its own, the
// canvas draws it as a plain box with its name and value text, so a panel can be read.
#pragma once

#include <QWidget>

class CTalvex22View;

class PanelCanvas : public QWidget {
public:
    explicit PanelCanvas(CTalvex22View* view);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CTalvex22View* m_pView;
};
