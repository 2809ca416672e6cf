#pragma once

// The elevation grid: one grid of signed 16-bit heights held in process-wide
// globals, the colour table, loading, rendering, smoothing and export.
// Call these from the user-interface thread only; loading, rendering,
// smoothing and export split their passes across the cores and return when
// all are done.

#include "elevation/uBILProgress.h"
#include "elevation/uBILTypes.h"

#include <QImage>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <type_traits>

using BILColorFunc = TAlphaColor (*)(int16_t height);

constexpr int32_t BILCapacity = 51'840'000; // 10800 x 4800 samples

// The grid.
extern QString BILFileName;
extern bool BILBigEndian;
extern int32_t BILWidth;
extern int32_t BILHeight;
extern int32_t BILNoData;
extern int16_t BILRaw[BILCapacity];  // as read, host order, missing flags kept
extern int16_t BILData[BILCapacity]; // working samples: missing read as 0, or smoothed
extern int16_t BILMax;
extern int16_t BILMin;
extern uint32_t BILRange;

// Where the grid lies, when its file says so: the outer corner of the
// upper-left cell and the size of a cell in the file's own coordinates
// (degrees where geographic). Rows run from top to bottom.
struct BILGeoReference
{
    double left = 0, top = 0;
    double cellWidth = 0, cellHeight = 0;
    bool geographic = false; // longitude and latitude rather than map x and y
    int epsg = 0;            // the coordinate system's EPSG code, where known
    bool operator==(const BILGeoReference &) const = default;
};
extern std::optional<BILGeoReference> BILGeoRef;

// The height of the cell at column x, row y as read, or nullopt for a missing
// sample or a cell outside the grid.
std::optional<int16_t> BILHeightAt(int x, int y);
// The same height as the file holds it, with its decimals where it has them.
std::optional<double> BILExactHeightAt(int x, int y);
// The centre of the cell at column, row in the georeference's coordinates,
// or nullopt when the grid has none. Rows run downwards, y upwards.
std::optional<QPointF> BILMapPosition(double column, double row);

// Colour of height h is BILColors[h + BILHeightOffset].
extern TAlphaColor BILColors[BILHeightCount];
inline TAlphaColor &BILColorOf(int16_t h)
{
    return BILColors[h + BILHeightOffset];
}

// Hooks the program installs at start-up. BILAskLayout shows the raw layout
// dialog (unset: a cancel); BILShowError shows a refusal (unset: ignored).
extern std::function<void()> BILAskLayout;
extern std::function<void(const QString &)> BILShowError;

// The integer parse shared by the header and the colour table: optional
// leading spaces, optional sign, then decimal digits, or hexadecimal ones
// after "$", "x" or "0x". Anything else, or a value outside 32 bits, gives 0.
int32_t BILStrToInt(QByteArrayView text);

TAlphaColor MakeColor(int red, int green, int blue);
TAlphaColor TextureColor(int16_t height);
TAlphaColor HeightColor(int16_t height);
void ScanBILRange(int x0, int y0, int x1, int y1);
void RenderBIL(QImage &bitmap, BILColorFunc color, int x0, int y0, int x1, int y1);

// The colour table installed with the program: <prefix>/share/relieva/RELIEVA.txt
// for <prefix>/bin/relieva, found from the executable's own path.
// Worked out on first use; tests point it elsewhere.
QString &BILDefaultColorTable();

// Where LoadColorTable looks, in its order: "RELIEVA.txt" (in the working
// directory), then BILDefaultColorTable() where there is one.
QStringList BILColorTablePlaces();

// Reads "RELIEVA.txt" from the working directory, or BILDefaultColorTable()
// when the working directory has none. Neither there: the table stays as it
// was, and nothing is said.
void LoadColorTable();
// Reads the table at path, as above; a file that cannot be read, is empty or
// holds no colour line sets BILColorTableProblem.
void LoadColorTable(const QString &path);

// Why the table that LoadColorTable found is of no use (it could not be read,
// is empty, or holds no colour line), or empty when it is fine. The first
// preview or export that uses the table shows it through BILShowError and
// clears it.
extern QString BILColorTableProblem;

void OpenBILFile(const QString &path, QImage &preview);

// The size of the grid opened, in cells, and how many cells along each side
// one pixel of its preview stands for.
struct BILPreviewScale
{
    int32_t width = 0, height = 0;
    int step = 1;
};
// Opens path as OpenBILFile does, and a grid beyond BILCapacity too, which
// OpenBILFile refuses: that one stays as it was read, outside BILRaw and
// BILData; BILWidth and BILHeight give its size, ExportBIL, BILHeightAt and
// BILExactHeightAt read it, and its preview shows one cell of every step x
// step block. Gives the scale, or width 0 when nothing was opened.
BILPreviewScale OpenAnyBILFile(const QString &path, QImage &preview);
// Opens the tiles of paths as one grid, placed by their georeference, as
// OpenAnyBILFile opens one; BILFileName names the first.
BILPreviewScale OpenBILMosaic(const QStringList &paths, QImage &preview);
void LoadBILFile(const QString &path, QImage &preview);
void ReadBILHeader(const QString &path);
void ReadBILData(const QString &path, QImage &preview);
QString BILCaption();

void SmoothBIL(int radius);
void ExportBIL(const QString &fileName, int radius, int x0, int y0, int x1, int y1);

// The images an export to fileName writes: "terrain.png" gives
// "terrain.-tx.png" and "terrain.-ht.png"; "terrain.r16", a raw heightmap,
// gives "terrain.-tx.png" and "terrain.-ht.r16", and ".exr" likewise.
struct BILExportNames
{
    QString texture, heightmap;
};
BILExportNames BILExportFileNames(const QString &fileName);

// The name of the tile at column, row of an export to fileName:
// "terrain.png" gives "terrain_x1_y0.png".
QString BILTileName(const QString &fileName, int column, int row);

// The world file that places image: "terrain.-tx.png" gives
// "terrain.-tx.pgw", ".bmp" gives ".bpw".
QString BILWorldFileName(const QString &image);

// The heights an export maps to black and white, in metres: whole metres
// for an 8-bit heightmap, as exact as the smoothed heights for 16 bits.
struct BILHeightRange
{
    double lowest = 0, highest = 0;

    BILHeightRange() = default;
    // From whole metres or decimals alike.
    template <typename Low, typename High>
    requires std::is_arithmetic_v<Low> && std::is_arithmetic_v<High> BILHeightRange(Low low,
                                                                                    High high)
        : lowest(double(low)), highest(double(high))
    {
    }
    bool operator==(const BILHeightRange &) const = default;
};

// A height in metres as texts give it: the shortest decimal that reads back
// as exactly that number ("100", "1234.5", "0.1").
QString BILHeightText(double metres);

// How heights are resampled to another number of samples.
enum class BILResampling
{
    Nearest,
    Bilinear,
    Cubic
};

// What an export does beyond the texture and the 8-bit heightmap.
struct BILExportOptions
{
    // Or 16: a 16-bit grey PNG or .r16 from the heights as read, the
    // smoothing's means unrounded, missing cells black and left out of the
    // range. Or 32: those means as floats in metres, in an .exr.
    int heightmapBits = 8;
    // Mapped to black and white instead of the region's own lowest and highest
    // height; heights beyond it are clamped.
    std::optional<BILHeightRange> range;
    bool worldFiles = false; // beside each image, where the grid has a georeference
    // Both images resampled from the smoothed heights to this many samples
    // (0: one per cell of the region).
    int width = 0, height = 0;
    BILResampling resampling = BILResampling::Cubic;
    // Beside the heightmap, "<name>.-ht.json": its size, spacing and height
    // range, and the numbers Unreal, Unity, Terrain3D and Blender ask for.
    bool sidecar = false;
    // A geographic grid reprojected to the UTM zone of the region's centre,
    // in square cells (width x height of them where given); a projected grid
    // stays in its own coordinates.
    bool utm = false;
    // Split into tiles across x down that share their edge row and column,
    // named "<name>_x<column>_y<row>", all mapped to the region's range; the
    // samples less one must divide into them.
    int tilesAcross = 1, tilesDown = 1;
    // Missing cells at most this many cells from a valid one filled from the
    // valid cells around them first, over the whole grid (0: none).
    int fillVoids = 0;
    // Hears how far the writing has got, image by image in bands of rows, and
    // may stop it: then no file is changed (unset: never stopped).
    bil::Progress progress{};
};

// The heights an export of the region at radius maps to black and white when
// no range is given: for an 8-bit heightmap the lowest and highest smoothed
// whole metres (a missing sample counts as 0), as ScanBILRange leaves them;
// for 16 or 32 bits the lowest and highest unrounded mean of the cells that have
// one. Leaves BILData smoothed and BILMin, BILMax, BILRange scanned.
BILHeightRange BILRegionHeightRange(int radius, int x0, int y0, int x1, int y1, int heightmapBits);

// Exports as above, with the options; the six-argument form is this with the
// default options. Gives the heights mapped to black and white, or nullopt
// when nothing was written.
std::optional<BILHeightRange> ExportBIL(const QString &fileName, int radius, int x0, int y0, int x1,
                                        int y1, const BILExportOptions &options);
