#pragma once

// What the core's own files share about the grid and its failures.

#include "elevation/uBILGridValue.h"

#include <new>

namespace bil {

// A grid whose layout can be read and exported: the sizes hold samples.
bool gridUsable();

// The grid the globals describe, when BILRaw does not hold its heights
// exactly: a file of other than signed 16-bit samples (NaN where missing),
// or a grid beyond BILCapacity. Empty otherwise.
extern Grid heldGrid;

// The grid held, as exact as it was read; no samples (width 0) when there
// is none.
HeightsView heightsView();

// The working value of a sample as read: missing samples count as 0.
inline int16_t workingSample(int16_t raw, int32_t noData)
{
    return raw == noData ? int16_t(0) : raw;
}

// Shows a foreseen refusal through the program's hook, if it set one.
void showError(const QString &text);

// Tells, once, why the colour table that was read is of no use, if it is
// not; called where a preview or a texture is about to use the table.
void reportColorTableProblem(const std::function<void(const QString &)> &tell = showError);

// Runs work; running out of memory becomes a BILError that says what was
// being done, "Not enough memory to <doing>.", instead of std::bad_alloc.
template <typename Work> void whileDoing(const QString &doing, Work work)
{
    try {
        work();
    } catch (const std::bad_alloc &) {
        throw BILError(QStringLiteral("Not enough memory to %1.").arg(doing).toStdString());
    }
}

} // namespace bil
