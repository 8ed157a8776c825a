// Over a stale panel (the device is away and its panel was kept): one translucent wash over
// every widget and picture alike, so that no old value passes for a live one. It covers the
// whole panel and takes no input; the panel beneath is disabled.
#pragma once

#include <QColor>
#include <QWidget>

class StaleVeil : public QWidget {
public:
    explicit StaleVeil(QWidget* panel);

    // Shows the veil over everything on the panel, or takes it away.
    void Cover(bool stale);
    // What a pixel of the live panel looks like under the veil.
    static QRgb Washed(QRgb live);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
