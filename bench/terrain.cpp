#include "bench/terrain.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

uint32_t hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return h ^ (h >> 15);
}

double lattice(int x, int y, uint32_t seed)
{
    return hash(uint32_t(x), uint32_t(y), seed) / 4294967295.0;
}

// Smoothly interpolated value noise in 0..1.
double valueNoise(double x, double y, uint32_t seed)
{
    const int xi = int(std::floor(x)), yi = int(std::floor(y));
    const double fx = x - xi, fy = y - yi;
    const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const double a = lattice(xi, yi, seed), b = lattice(xi + 1, yi, seed);
    const double c = lattice(xi, yi + 1, seed), d = lattice(xi + 1, yi + 1, seed);
    return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

// Large-scale relief in 0..1: the first octaves of the value noise.
double broadRelief(int x, int y)
{
    return (valueNoise(x / 3000.0, y / 3000.0, 41) * 2 + valueNoise(x / 900.0, y / 900.0, 43)) / 3;
}

int16_t heightAt(int x, int y)
{
    double relief = 0, amplitude = 1, wavelength = 4000;
    for (uint32_t octave = 0; octave < 11; ++octave) {
        double n = valueNoise(x / wavelength, y / wavelength, octave);
        if (octave >= 2) n = 1 - std::abs(2 * n - 1); // ridges in the mid and fine scales
        relief += amplitude * n;
        amplitude *= 0.56;
        wavelength /= 2;
    }
    const double shaped = std::pow(std::max(relief / 2.2, 0.0), 2.2) * 9000 - 700;
    const double detail = int(hash(uint32_t(x), uint32_t(y), 99) % 21) - 10;
    return int16_t(std::clamp(shaped + detail, -9000.0, 8800.0));
}

// Scattered missing samples and a few void blocks.
void punchHoles(std::vector<int16_t> &grid, int width, int height)
{
    for (uint32_t i = 0; i < 3000; ++i)
        grid[hash(i, 1, 7) % grid.size()] = kTerrainNoData;
    for (uint32_t b = 0; b < 5; ++b) {
        const int bx = int(hash(b, 2, 7) % uint32_t(std::max(1, width - 60)));
        const int by = int(hash(b, 3, 7) % uint32_t(std::max(1, height - 40)));
        for (int y = by; y < std::min(height, by + 40); ++y)
            std::fill_n(grid.begin() + ptrdiff_t(size_t(y) * size_t(width) + size_t(bx)),
                        std::min(60, width - bx), kTerrainNoData);
    }
}

} // namespace

std::vector<int16_t> MakeTerrain(int width, int height)
{
    std::vector<int16_t> grid(size_t(width) * size_t(height));
    const auto band = [&](int yb, int ye) {
        for (int y = yb; y < ye; ++y)
            for (int x = 0; x < width; ++x)
                grid[size_t(y) * size_t(width) + size_t(x)] = heightAt(x, y);
    };
    std::thread other(band, height / 2, height);
    band(0, height / 2);
    other.join();

    punchHoles(grid, width, height);
    return grid;
}

std::vector<int16_t> MakeRealTerrain(const std::vector<int16_t> &tile, int tileWidth,
                                     int tileHeight, bool coast)
{
    const int width = 10800, height = 4800;
    std::vector<int16_t> grid(size_t(width) * size_t(height));
    const auto band = [&](int yb, int ye) {
        for (int y = yb; y < ye; ++y)
            for (int x = 0; x < width; ++x) {
                const int tx = x / tileWidth, u = x % tileWidth;
                // Each column of tiles starts at its own row, so that a row of
                // the grid is no copy of the row some tiles to its left.
                const int shifted = y + int(hash(uint32_t(tx), 5, 7) % uint32_t(2 * tileHeight));
                const int ty = shifted / tileHeight, v = shifted % tileHeight;
                const int orientation = (tx & 1) | (ty & 1) << 1; // mirrored, flipped, both
                const int sx = orientation & 1 ? tileWidth - 1 - u : u;
                const int sy = orientation & 2 ? tileHeight - 1 - v : v;
                const double local = tile[size_t(sy) * size_t(tileWidth) + size_t(sx)];
                const double broad = broadRelief(x, y);
                // The coast: a low plain whose lower half lies under a flat sea.
                const double h =
                    coast ? (local - 300) * 0.25 + (broad - 0.62) * 900 : local + broad * 1800;
                grid[size_t(y) * size_t(width) + size_t(x)] =
                    int16_t(std::clamp(coast ? std::max(h, 0.0) : h, -9000.0, 8800.0));
            }
    };
    std::thread other(band, height / 2, height);
    band(0, height / 2);
    other.join();
    punchHoles(grid, width, height);
    return grid;
}

void WriteBenchBIL(const char *path, const std::vector<int16_t> &grid)
{
    const int width = 10800, height = 4800;
    std::string header = path;
    header = header.substr(0, header.rfind('.')) + ".hdr";
    std::ofstream(header) << "BYTEORDER      I\nLAYOUT         BIL\nNROWS          " << height
                          << "\nNCOLS          " << width
                          << "\nNBANDS         1\nNBITS          16\nNODATA         "
                          << kTerrainNoData << "\n";
    std::ofstream samples(path, std::ios::binary);
    samples.write(reinterpret_cast<const char *>(grid.data()), std::streamsize(grid.size() * 2));
    if (!samples) throw std::runtime_error(std::string("cannot write ") + path);
}

QString BenchGridFile()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        const QString file = dir.filePath(QStringLiteral("grid.bil"));
        WriteBenchBIL(QFile::encodeName(file).constData(), MakeTerrain(10800, 4800));
        return file;
    }();
    return path;
}
