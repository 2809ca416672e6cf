#pragma once

// The export's further choices, shown in the Save dialog under the file
// types: the engine the heightmap is made for, its size, square cells in
// metres for a grid in degrees, tiles, and voids filled.

#include "elevation/uFMXBILUtils.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QSpinBox;
namespace bil {
struct Engine;
}

class TSaveChoices : public QWidget
{
    Q_OBJECT

public:
    // What is chosen, as it is kept between runs.
    struct State
    {
        QString engine;   // the engine's name, or empty for none
        int size = 0;     // N for N x N, 0 as cropped, NearestSize the engine's nearest
        bool utm = false; // square metres, where the grid is in degrees
        int tilesAcross = 1, tilesDown = 1;
        bool fillVoids = false; // up to the command line's default distance
        bool operator==(const State &) const = default;
    };
    static constexpr int NearestSize = -1;

    explicit TSaveChoices(QWidget *parent = nullptr);

    // The crop the choices are for: its size names the engine's nearest,
    // and square metres are offered only for a grid in degrees.
    void setRegion(int columns, int rows, bool geographic);
    State state() const;
    void setState(const State &state);
    const bil::Engine *engine() const;
    // options with the choices made: the size for the crop set, square
    // metres, tiles, voids filled, and the engine's sidecar.
    BILExportOptions applied(BILExportOptions options) const;

signals:
    // The engine chosen by the user, or nullptr for none.
    void engineChosen(const bil::Engine *engine);

private:
    void fillSizes(int size);

    QComboBox *engineBox;
    QComboBox *sizeBox;
    QCheckBox *utmBox;
    QSpinBox *acrossBox;
    QSpinBox *downBox;
    QCheckBox *fillBox;
    int columns = 0, rows = 0;
};
