#pragma once

// Loading a grid file into a grid value: the readers find the samples, the
// caller answers the layout question and hears refusals through callbacks.

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
};

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

} // namespace bil
