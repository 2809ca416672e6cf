#pragma once

// Loading a grid file, or several tiles as one, into a grid value: the
// readers find the samples, the caller answers the layout question and hears
// refusals through callbacks.

#include "elevation/uBILGridValue.h"
#include "elevation/uBILReader.h"

#include <functional>

namespace bil {

struct LoadCallbacks
{
    // Asks for the layout of a file without a usable header, starting from
    // the one proposed; false cancels. Unset: a cancel.
    std::function<bool(const QString &path, GridLayout &layout)> askLayout;
    // Tells why a grid is refused: sizes of no use, or more than can be held.
    std::function<void(const QString &text)> refuse;
    int64_t capacity = 0; // the most samples to hold; 0: as many as memory holds
    // Where 16-bit samples go instead of the grid's own memory, when there
    // is room for them: wholeRoom samples.
    int16_t *wholeInto = nullptr;
    int64_t wholeRoom = 0;
    int threads = coreCount(); // the most a reader spreads over
    // The cells of source that will be used, asked before its samples are
    // read: a reader that can skip the others leaves them unread, and
    // undefined. Unset, or nullopt: all of them.
    std::function<std::optional<CellRegion>(const GridSource &source)> wanted{};
    // Hears how far reading has got, and may stop it (unset: never stopped).
    Progress progress{};
};

// Opens paths, one file or tiles as one grid, into the globals as
// OpenAnyBILFile and OpenBILMosaic do, but asking for layouts through
// callbacks.askLayout instead of BILAskLayout, and telling callbacks.progress
// how far it has got; the rest of callbacks is the globals' own. A progress
// that stops it throws Cancelled, with the grid held before kept.
BILPreviewScale openIntoGlobals(const QStringList &paths, QImage &preview, LoadCallbacks callbacks);

// How the samples of path are read: by the reader of its kind, else as its
// header or the layout question lays them out. Nullopt when the question
// was cancelled, or the header gave -1 for a width, as a cancel does.
// Throws BILError naming the file when it is no grid file.
std::optional<GridSource> findSource(const QString &path, const LoadCallbacks &callbacks);

// Room for the samples of source, not yet read, or nullopt after telling
// callbacks.refuse why there is none.
std::optional<Grid> gridFor(const GridSource &source, const LoadCallbacks &callbacks);

// The grid of path, or nullopt when the layout question was cancelled or
// the grid refused. A grid whose memory cannot be had is refused before a
// sample is read. Throws BILError naming the file when it cannot be read.
std::optional<Grid> loadGrid(const QString &path, const LoadCallbacks &callbacks);

// The tiles of paths as one grid: they must lie in one coordinate system on
// one lattice of cells of one size. Rows and columns that neighbours share
// are read once, the first named tile's where they differ; cells no tile
// covers are missing. A headerless tile takes its place from an SRTM name;
// the layout question is asked once for tiles that would get the same one.
// Nullopt when the question was cancelled or the mosaic refused (through
// callbacks.refuse, naming the files); throws BILError naming the files
// when the tiles do not fit together or one cannot be read.
std::optional<Grid> loadMosaic(const QStringList &paths, const LoadCallbacks &callbacks);

} // namespace bil
