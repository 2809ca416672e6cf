#pragma once

// Elevation grids for the benchmarks: a synthetic but realistic one (large-scale
// relief with fine detail, no repeating tile that compresses to nothing), and
// real land and coast built from a small real DEM. All have scattered missing
// samples and a few void blocks.

#include <QString>

#include <cstdint>
#include <vector>

constexpr int16_t kTerrainNoData = -32768;

std::vector<int16_t> MakeTerrain(int width, int height);

// A full-capacity grid (10800 x 4800) from a real tile (row-major samples):
// the tile in four orientations, each column of tiles shifted by its own
// number of rows, plus a large-scale relief. The coast is low and mostly a
// flat sea at 0.
std::vector<int16_t> MakeRealTerrain(const std::vector<int16_t> &tile, int tileWidth,
                                     int tileHeight, bool coast);

// Writes a full-capacity grid as little-endian samples at path with an ESRI
// header beside it (path's extension replaced by .hdr).
void WriteBenchBIL(const char *path, const std::vector<int16_t> &grid);

// The path of a full-capacity terrain BIL written once per process into a
// temporary folder.
QString BenchGridFile();
