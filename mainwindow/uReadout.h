#pragma once

// The text of the preview's pointer readout for the grid that is open.

#include <QPoint>
#include <QString>

// "Column 120 · Row 45 · 1534 m" (or "missing"), and on a second line the
// cell's longitude and latitude or map x and y where the grid has a
// georeference; in Japanese for a Japanese user.
QString ReadoutText(QPoint cell);
