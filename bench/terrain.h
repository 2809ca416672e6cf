#pragma once

// A synthetic but realistic elevation grid for the benchmarks: large-scale
// relief with fine detail (no repeating tile that compresses to nothing),
// scattered missing samples and a few void blocks.

#include <QString>

#include <cstdint>
#include <vector>

constexpr int16_t kTerrainNoData = -32768;

std::vector<int16_t> MakeTerrain(int width, int height);

// Writes the full-capacity terrain (10800 x 4800) as little-endian samples
// at path with an ESRI header beside it (path's extension replaced by .hdr).
void WriteTerrainBIL(const char *path);

// The path of a full-capacity terrain BIL written once per process into a
// temporary folder.
QString BenchGridFile();
