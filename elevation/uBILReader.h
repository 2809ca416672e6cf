#pragma once

// The readers of files that describe themselves (TIFF, ASCII grids, BIL
// headers beyond 16-bit samples): each finds the grid's size and hands the
// open routine a way to read its heights.

#include "elevation/uBILGridValue.h"
#include "elevation/uBILProgress.h"

#include <QHash>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <type_traits>

namespace bil {

struct GridSource
{
    int64_t width = 0, height = 0; // as the file says; the open routine checks them
    int32_t noData = BILHeightLowest;
    std::optional<BILGeoReference> geo;
    bool turned = false;      // placed turned against north, so without geo
    bool wholeSamples = true; // signed 16-bit samples; else any other type, kept as floats
    bool bigEndian = false;   // the byte order of a file of raw samples
    // Writes width x height heights row by row: signed 16-bit samples as they
    // are into whole, missing ones as noData; any other type into real as
    // floats, never rounded on the way in, missing ones NaN. Samples outside
    // wanted may be left unwritten by a reader that can skip them. Spreads
    // over up to threads threads, advancing steps by the cells read. Throws
    // BILError naming the file when it cannot.
    std::function<void(int16_t *whole, float *real, const CellRegion &wanted, int threads,
                       Steps &steps)>
        read;
};

// How a sample of type T is kept: signed 16-bit heights as they are, every
// other type as a 32-bit float.
template <typename T> using Stored = std::conditional_t<std::is_same_v<T, int16_t>, int16_t, float>;

// Of whole and real, the one that keeps samples of type T.
template <typename T> Stored<T> *storeFor(int16_t *whole, float *real)
{
    if constexpr (std::is_same_v<T, int16_t>)
        return whole;
    else
        return real;
}

constexpr float missingReal = std::numeric_limits<float>::quiet_NaN();

// A sample kept as a float: values beyond a float's range are brought to its
// edge, so that none becomes infinite, and so missing, on the way.
inline float realFrom(double v)
{
    return std::isfinite(v) ? float(std::clamp(v, double(-FLT_MAX), double(FLT_MAX))) : float(v);
}

// The types samples come in.
enum class SampleType
{
    Int8,
    UInt8,
    Int16,
    UInt16,
    Int32,
    UInt32,
    Float32,
    Float64
};

// Calls f with a value of type's own C++ type, so that one template serves all.
template <typename F> decltype(auto) withSampleType(SampleType type, F &&f)
{
    switch (type) {
    case SampleType::Int8:
        return f(int8_t{});
    case SampleType::UInt8:
        return f(uint8_t{});
    case SampleType::Int16:
        return f(int16_t{});
    case SampleType::UInt16:
        return f(uint16_t{});
    case SampleType::Int32:
        return f(int32_t{});
    case SampleType::UInt32:
        return f(uint32_t{});
    case SampleType::Float32:
        return f(float{});
    case SampleType::Float64:
        break;
    }
    return f(double{});
}

// Whether a sample is the file's missing value (NaN when it has none). A
// float sample is compared as a float, as its writer stored the value.
template <typename T> bool isMissing(T v, double noData)
{
    if constexpr (std::is_same_v<T, float>)
        return std::abs(noData) <= FLT_MAX ? v == float(noData) : double(v) == noData;
    else
        return double(v) == noData;
}

// Each gives nullopt when the file is not of its kind, and throws BILError
// naming the file when it is but cannot be read.
std::optional<GridSource> tiffSource(const QString &path);
std::optional<GridSource> asciiGridSource(const QString &path);

// What the header beside a grid file says: the layout (width 0 where it
// gives no size, or there is no header), and its keywords beyond the layout.
struct Header
{
    GridLayout layout;
    QString path;              // of the header
    bool floatSamples = false; // a .flt holds float32 unless its header says otherwise
    QHash<QByteArray, QByteArray> values;
};
// Reads the header beside path as ReadBILHeader does; throws BILError naming
// it when it is there but cannot be opened.
Header readHeader(const QString &path);

// The samples of path as the header and its layout (perhaps the layout
// question's) lay them out, or nullopt for plain 16-bit samples, which are
// read directly. Throws BILError naming the key when the header asks for
// what cannot be read.
std::optional<GridSource> headerSource(const QString &path, const Header &header);

// Why the header beside path gives no usable layout, naming the header, and
// the key and value where one is at fault; nullopt where path has no header
// or its header gives a layout.
std::optional<QString> headerLayoutProblem(const QString &path);

// Whether a .prj beside path names a geographic coordinate system.
bool geographicProjection(const QString &path);

// Where a width x height grid named like an SRTM tile lies: N57E011 spans
// 57..58 north and 11..12 east, the cells' centres on its edges; nullopt
// for another name.
std::optional<BILGeoReference> srtmGeoReference(const QString &path, int64_t width, int64_t height);

// Where the grid of path lies, as its header, or an SRTM tile's name, says.
std::optional<BILGeoReference> headerGeoReference(const QString &path, const Header &header);

} // namespace bil
