#include "CellFont.h"

#include <QFontMetricsF>
#include <QHash>
#include <algorithm>
#include <cmath>

#include "Ctrl.h"

namespace {

QFont FaceAt(int pixelSize, bool bold) {
    QFont font(QString::fromLatin1(CCtrl::kFontFace));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

// The height text of the font needs: the line as laid out, not the rounded ascent and descent
// (which can be a pixel short).
int LineHeight(const QFont& font) {
    return int(std::ceil(QFontMetricsF(font).height()));
}

// The largest pixel size whose line height fits the cell (at least 1).
int FittingPixelSize(int cellHeight, bool bold) {
    int size = cellHeight;
    while (size > 1 && LineHeight(FaceAt(size, bold)) > cellHeight) --size;
    return size;
}

} // namespace

QFont CellFont(int cellHeight, bool bold) {
    cellHeight = std::clamp(cellHeight, 1, 500);
    // Measuring takes the font engine; a panel has thousands of controls and a handful of sizes.
    // The fonts handed out share their data.
    static QHash<int, QFont> fitted;
    const int key = cellHeight * 2 + (bold ? 1 : 0);
    auto it = fitted.constFind(key);
    if (it == fitted.constEnd())
        it = fitted.insert(key, FaceAt(FittingPixelSize(cellHeight, bold), bold));
    return *it;
}
