#pragma once

// Reading the program's small text files (the header, the colour table):
// lines of any ending, fields split at blanks, quoted fields.

#include "elevation/uBILTypes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>

#include <functional>
#include <optional>
#include <vector>

namespace bil {

// No real header or colour table comes near this; a longer line is cut here
// so that a huge or hostile file costs no memory.
constexpr qsizetype maxLineLength = 1 << 20;

// Calls line(bytes) for each line of the open file; lines end at CR, LF or
// CR LF. Throws BILError naming the file when a read fails.
void forEachLine(QFile &file, const std::function<void(QByteArrayView)> &line);

// Splits a line at runs of codes 1..32; a field that opens with a double
// quote runs to the closing one, a doubled quote inside standing for one.
std::vector<QByteArray> splitFields(QByteArrayView line);

// A decimal number, as written in any locale-free text file: optional sign,
// digits, fraction and exponent, or "nan"/"inf"; nothing may follow.
std::optional<double> parseNumber(QByteArrayView text);

} // namespace bil
