#pragma once

// The line on a terminal that shows how far reading and writing have got,
// "Reading N57E011.hgt… 40 %", drawn again in place as the work goes on.

#include "elevation/uBILProgress.h"

#include <cstdio>

class CliProgressLine
{
public:
    // Draws on out, a terminal; nullptr draws nothing.
    explicit CliProgressLine(FILE *out = nullptr) : out(out) {}

    // What the core reports to: never stops the work. Unset when nothing is drawn.
    bil::Progress progress();
    // Wipes the line, so that a line of the log can take its place.
    void clear();

private:
    FILE *out;
    QByteArray shown; // the line on the terminal now
};
