// The surface the panel's controls are laid out on: the controls' widgets are its children; it
// paints the background and the Image controls of the page (a placeholder until a picture is
// decoded).
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
