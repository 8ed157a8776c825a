// The controls' fonts. A device gives a font size as the character cell height (ascent plus
// descent) of Arial at that size, and lays its controls out for it: the title band is exactly that
// high. Qt's pixel size is the em height, a good tenth less than the cell, so a size is turned into
// the pixel size whose line height fits the cell.
#pragma once

#include <QFont>

// Arial (or the face the font configuration puts in its place) whose line height is at most
// `cellHeight` pixels, bold or normal. Sizes outside 1..500 are taken as the nearest of them.
QFont CellFont(int cellHeight, bool bold);
