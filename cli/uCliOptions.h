#pragma once

// The command line's options: what `relieva --export OUT INPUT...` asks for,
// parsed without touching the grid, so that every usage error is found before
// any file is read or written.

#include "elevation/uBILReproject.h"
#include "elevation/uFMXBILUtils.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// The raw layout the layout dialog would ask for: used for inputs without a
// header that gives theirs.
struct CliLayout
{
    int32_t width = 0, height = 0;
    bool bigEndian = false;
    int32_t noData = BILHeightLowest;
    bool operator==(const CliLayout &) const = default;
};

// A region of the grid in samples, x1 and y1 excluded, as the window's
// spin boxes give it.
struct CliCrop
{
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool operator==(const CliCrop &) const = default;
};

struct CliOptions
{
    // An image name (out.png writes out.-tx.png and out.-ht.png) or, with
    // several inputs, a folder that gets <input stem>.-tx.png and so on.
    QString output;
    bool outputIsFolder = false;
    QString extension = QStringLiteral(".png"); // of the images: .png, .bmp, .r16 or .exr
    QStringList inputs;
    int radius = 0;
    std::optional<CliCrop> crop; // absent: the whole grid, or the box's cells
    std::optional<bil::MapBox> box;
    bool mosaic = false; // the inputs joined into one grid
    BILExportOptions exportOptions;
    bool commonRange = false; // one height range, found over every input
    std::optional<CliLayout> layout;
    QString colors;     // a colour table instead of the one the window reads
    bool quiet = false; // only failures are told
    // The square sizes the engine asked for takes, when the size is not
    // given; empty: any, the region as it is.
    std::vector<int> engineSizes;
};

struct CliCommand
{
    enum class Action
    {
        Export,
        Help,
        Version,
        UsageError
    };
    Action action = Action::UsageError;
    CliOptions options;
    QString text; // the help, the version line, or what is wrong with the arguments
};

// Whether the arguments (the program's name first) ask for the command line
// rather than the window: any of the command line's own options.
bool WantsCommandLine(const QStringList &arguments);

// Parses the arguments, the program's name first.
CliCommand ParseCommandLine(const QStringList &arguments);

// The name the export of input is given: the --export name itself, or in a
// folder the input's file name with the images' extension for its own.
QString CliOutputName(const CliOptions &options, const QString &input);
