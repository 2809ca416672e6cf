#pragma once

// The grid's layout globals and georeference as tests compare and print them.

#include "elevation/uBILGrid.h"
#include "elevation/uFMXBILUtils.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <ostream>
#include <vector>

constexpr int16_t kLowest = std::numeric_limits<int16_t>::min();
constexpr int16_t kHighest = std::numeric_limits<int16_t>::max();

struct Layout
{
    bool bigEndian;
    int32_t width, height, noData;
    bool operator==(const Layout &) const = default;
};

inline Layout layout()
{
    return {BILBigEndian, BILWidth, BILHeight, BILNoData};
}

// Puts a grid straight into the globals, as a load would leave it.
inline void setGrid(int w, int h, const std::vector<int16_t> &samples, int32_t noData = kLowest)
{
    BILWidth = w;
    BILHeight = h;
    BILNoData = noData;
    std::copy(samples.begin(), samples.end(), BILRaw);
    bil::heldGrid = {}; // BILRaw holds the heights exactly
    SmoothBIL(0);
}

inline void PrintTo(const Layout &l, std::ostream *os)
{
    *os << (l.bigEndian ? "big" : "little") << ' ' << l.width << 'x' << l.height << " nodata "
        << l.noData;
}

// Found by argument lookup, so it sits beside the type, in the global namespace.
inline void PrintTo(const BILGeoReference &g, std::ostream *os)
{
    *os << "left " << g.left << " top " << g.top << " cell " << g.cellWidth << " x " << g.cellHeight
        << (g.geographic ? " geographic" : " projected");
}

// A folder for the test's files, and the core's hooks: refusals collected,
// the layout dialog unset (a cancel) until a test installs one.
class GridTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        BILShowError = [this](const QString &text) { errors << text; };
        BILAskLayout = nullptr;
    }
    void TearDown() override
    {
        BILShowError = nullptr;
        BILAskLayout = nullptr;
    }
    QString path(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    QStringList errors;
};
