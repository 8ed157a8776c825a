// The full chart of a Matrix control saved as a picture: SVG when the name ends in .svg, else PNG.
#pragma once

#include <QSize>
#include <QString>

#include "MatrixCsv.h"

class CCtrl;

FileWrite SaveChartImage(const CCtrl& ctrl, const QSize& size, const QString& path);
