#include "cli/uCliOptions.h"

#include "elevation/uBILEngines.h"
#include "elevation/uBILFill.h"
#include "elevation/uBILText.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <cfloat>
#include <climits>
#include <cstdlib>

namespace {

constexpr int kMaxRadius = 4; // as the window's smoothing box allows

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption output{
        {"o", "export"},
        "Writes the texture and heightmap as OUTPUT with \"-tx\" and \"-ht\" before the "
        "extension, as the window does: terrain.png gives terrain.-tx.png and terrain.-ht.png. "
        "With several inputs OUTPUT is a folder that gets <input stem>.-tx.png and "
        "<input stem>.-ht.png for each input. A missing folder is made.",
        "OUTPUT"};
    QCommandLineOption type{"type",
                            "png, bmp, png16 for a 16-bit PNG heightmap, r16 for a raw one "
                            "(little-endian, rows from the top), exr for heights in metres as "
                            "32-bit floats, or tif32 for them as a float GeoTIFF; the last three "
                            "beside a PNG texture. Default: OUTPUT's extension, png for a folder.",
                            "TYPE"};
    QCommandLineOption crop{"crop",
                            "Exports only the cells X0 <= x < X1, Y0 <= y < Y1 of each grid "
                            "(default: the whole grid). A crop beyond a grid fails that input.",
                            "X0,Y0,X1,Y1"};
    QCommandLineOption bbox{
        "bbox",
        "Exports only the cells whose centres lie inside the box, in the grid's own coordinates "
        "(or longitude and latitude with --bbox-lonlat), instead of --crop.",
        "WEST,SOUTH,EAST,NORTH"};
    QCommandLineOption bboxLonLat{
        "bbox-lonlat", "--bbox is in degrees of longitude and latitude (WGS 84), converted to a "
                       "projected grid's coordinates."};
    QCommandLineOption mosaic{
        "mosaic", "Makes all INPUTs one grid, placed by their georeference (headerless tiles by "
                  "an SRTM name), exported as one: OUTPUT is then an image name."};
    QCommandLineOption fillVoids{
        "fill-voids",
        "Fills missing cells at most DISTANCE cells (default 100) from a valid one with the "
        "smoothest surface through the valid cells around them, before smoothing and "
        "resampling; farther ones stay missing.",
        "DISTANCE"};
    QCommandLineOption smooth{
        "smooth", "Smooths the heights over (2 R + 1)^2 cells first, R from 0 to 4 (default 0).",
        "R", "0"};
    QCommandLineOption layout{
        "layout",
        "The layout of inputs without a header: columns, rows, byte order (le or be) and the "
        "missing-sample value, e.g. 1201,1201,be,-32768. Without it they are read with the "
        "layout dialog's pre-set, and the log says so.",
        "COLUMNS,ROWS,le|be,NODATA"};
    QCommandLineOption colors{
        "colors", "Reads the colour table from FILE instead of RELIEVA.txt or the installed one.",
        "FILE"};
    QCommandLineOption range{"range",
                             "Maps the heights LO and HI (metres, decimals allowed) to black and "
                             "white in every heightmap instead of each region's own lowest and "
                             "highest height.",
                             "LO,HI"};
    QCommandLineOption commonRange{
        "common-range",
        "Maps the lowest and highest height found over all inputs (smoothed, cropped) to black "
        "and white, so that tiles' heightmaps agree where they meet."};
    QCommandLineOption size{
        "size",
        "Resamples the smoothed region to exactly N x N, or W x H, samples, each standing for "
        "the centre of its share of the region, as GDAL's -outsize does.",
        "N|WxH"};
    QCommandLineOption engine{
        "engine",
        "Makes the heightmap for a game engine or Blender: the type it imports best (unreal: "
        "png16, unity: r16, godot and blender: exr) and, without --size, the square size it "
        "takes that is nearest to the region's longer side (Unreal: 127 to 8129, Unity: 33 to "
        "4097; Godot and Blender take any).",
        "unreal|unity|godot|blender"};
    QCommandLineOption sidecar{
        "sidecar",
        "Writes <name>.-ht.json beside each heightmap: its size, spacing and height range, and "
        "the numbers Unreal, Unity, Terrain3D and Blender ask for on import. --engine implies "
        "it."};
    QCommandLineOption tiles{
        "tiles",
        "Splits each output into C x R tiles that share their edge row and column, named "
        "<name>_x<column>_y<row>, all mapped to one height range; the samples less one must "
        "divide into them.",
        "CxR"};
    QCommandLineOption utm{
        "utm",
        "Reprojects a grid in degrees to the UTM zone of the region's centre (WGS 84), in square "
        "cells of the region's north-south cell size (or --size), centred on that centre; a "
        "grid in map coordinates keeps them."};
    QCommandLineOption resample{
        "resample",
        "How --size resamples: cubic (default), bilinear or nearest. Missing samples take no "
        "part.",
        "METHOD", "cubic"};
    QCommandLineOption worldFile{
        "world-file", "Writes a world file beside each image of a grid whose file places it."};
    QCommandLineOption quiet{{"q", "quiet"}, "Tells only failures."};
    QCommandLineOption help{{"h", "help"}, "Shows this help and exits."};
    QCommandLineOption version{{"v", "version"}, "Shows the program's version and exits."};
    const QList<QCommandLineOption> options{output,     type,   engine, sidecar, crop,  bbox,
                                            bboxLonLat, mosaic, size,   tiles,   utm,   resample,
                                            fillVoids,  smooth, layout, colors,  range, commonRange,
                                            worldFile,  quiet,  help,   version};

    Parser()
    {
        parser.setApplicationDescription(
            "Turns elevation grids into a colour texture and a greyscale heightmap each.\n"
            "Without --export, relieva [FILE] opens the window (and FILE in it).\n"
            "Exit status: 0 all exported, 1 some input failed, 2 a usage error.");
        parser.addOptions(options);
        parser.addPositionalArgument("INPUT",
                                     "Elevation grids: BIL, HGT, GeoTIFF, ASCII grid, "
                                     "GridFloat.",
                                     "INPUT...");
    }

    QString helpText() const
    {
        const QString text = parser.helpText();
        return QStringLiteral("Usage: relieva --export OUTPUT [options] INPUT...") +
               text.sliced(text.indexOf(u'\n'));
    }
};

// Comma-separated integers, each within [lowest, highest]; nullopt for
// anything else.
std::optional<QList<int>> integers(const QString &text, int count, int lowest, int highest)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != count) return std::nullopt;
    QList<int> values;
    for (const QString &part : parts) {
        bool ok = false;
        const int v = part.trimmed().toInt(&ok);
        if (!ok || v < lowest || v > highest) return std::nullopt;
        values.push_back(v);
    }
    return values;
}

// Comma-separated decimal numbers, each within [lowest, highest]; nullopt
// for anything else.
std::optional<QList<double>> decimals(const QString &text, int count, double lowest, double highest)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != count) return std::nullopt;
    QList<double> values;
    for (const QString &part : parts) {
        const std::optional<double> v = bil::parseNumber(part.trimmed().toLatin1());
        if (!v || !(*v >= lowest && *v <= highest)) return std::nullopt;
        values.push_back(*v);
    }
    return values;
}

std::optional<CliLayout> parseLayout(const QString &text)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != 4 || (parts[2] != u"le" && parts[2] != u"be")) return std::nullopt;
    const auto size = integers(parts[0] + u',' + parts[1], 2, 1, INT_MAX);
    const auto noData = integers(parts[3], 1, BILHeightLowest, BILHeightHighest);
    if (!size || !noData) return std::nullopt;
    return CliLayout{(*size)[0], (*size)[1], parts[2] == u"be", noData->front()};
}

// "N" or "WxH", at least one sample each way and at most the capacity in all.
std::optional<std::pair<int, int>> outputSize(const QString &text)
{
    const QStringList parts = text.toLower().split(u'x');
    if (parts.size() > 2) return std::nullopt;
    const auto sides = integers(parts.join(u','), int(parts.size()), 1, BILCapacity);
    if (!sides) return std::nullopt;
    const int w = sides->front(), h = sides->back();
    if (int64_t(w) * h > BILCapacity) return std::nullopt;
    return std::pair{w, h};
}

std::optional<BILResampling> resamplingNamed(const QString &name)
{
    const QString n = name.toLower();
    if (n == u"cubic") return BILResampling::Cubic;
    if (n == u"bilinear") return BILResampling::Bilinear;
    if (n == u"nearest") return BILResampling::Nearest;
    return std::nullopt;
}

CliCommand usageError(const QString &text)
{
    return {CliCommand::Action::UsageError, {}, text};
}

} // namespace

bool WantsCommandLine(const QStringList &arguments)
{
    const Parser p;
    for (const QString &argument : arguments.sliced(std::min<qsizetype>(1, arguments.size()))) {
        if (argument == u"--") break;
        // Exact names only: Qt's own window options such as -reverse share
        // first letters with the short ones.
        for (const QCommandLineOption &option : p.options)
            for (const QString &name : option.names()) {
                const QString dashed =
                    (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
                if (argument == dashed || argument.startsWith(dashed + u'=')) return true;
            }
    }
    return false;
}

CliCommand ParseCommandLine(const QStringList &arguments)
{
    Parser p;
    QCommandLineParser &parser = p.parser;
    // --fill-voids may come without its distance, which Qt's parser cannot take.
    QStringList given = arguments;
    for (qsizetype i = 1; i < given.size() && given[i] != u"--"; ++i)
        if (given[i] == u"--fill-voids")
            given[i] = QStringLiteral("--fill-voids=%1").arg(bil::defaultFillDistance);
    if (!parser.parse(given)) return usageError(parser.errorText());
    if (parser.isSet(p.help)) return {CliCommand::Action::Help, {}, p.helpText()};
    if (parser.isSet(p.version))
        return {CliCommand::Action::Version, {}, QStringLiteral("relieva " RELIEVA_VERSION)};

    CliOptions o;
    o.output = parser.value(p.output);
    o.inputs = parser.positionalArguments();
    if (!parser.isSet(p.output))
        return usageError(QStringLiteral("Missing --export OUTPUT: the command line writes "
                                         "images. (relieva FILE alone opens FILE in the window.)"));
    if (parser.values(p.output).size() > 1)
        return usageError(QStringLiteral("--export is given more than once."));
    if (o.inputs.isEmpty()) return usageError(QStringLiteral("No input files."));

    // A folder: several inputs not joined, or a name that says so.
    o.mosaic = parser.isSet(p.mosaic);
    const QString suffix = QFileInfo(o.output).suffix();
    o.outputIsFolder = (o.inputs.size() > 1 && !o.mosaic) || o.output.endsWith(u'/') ||
                       QFileInfo(o.output).isDir();
    if (o.mosaic && o.outputIsFolder)
        return usageError(
            QStringLiteral("--export %1: a mosaic is one image name, not a folder.").arg(o.output));
    if (o.outputIsFolder && bil::imageKind(suffix))
        return usageError(QStringLiteral("--export %1: with several inputs OUTPUT is a folder, "
                                         "not an image name.")
                              .arg(o.output));
    const std::optional<bil::ImageKind> fromName =
        o.outputIsFolder ? std::nullopt : bil::imageKind(suffix);
    std::optional<bil::ImageKind> chosen = fromName;
    const bil::Engine *engine = nullptr;
    if (parser.isSet(p.engine)) {
        engine = bil::engineNamed(parser.value(p.engine));
        if (!engine)
            return usageError(QStringLiteral("--engine %1: give unreal, unity, godot or blender.")
                                  .arg(parser.value(p.engine)));
        o.engineSizes = engine->sizes;
    }
    // The type given, else the engine's.
    const QString typeOption = parser.isSet(p.type)
                                   ? QStringLiteral("--type %1").arg(parser.value(p.type))
                               : engine ? QStringLiteral("--engine %1").arg(parser.value(p.engine))
                                        : QString();
    if (!typeOption.isEmpty()) {
        chosen = bil::imageKind(parser.isSet(p.type) ? parser.value(p.type)
                                                     : QString::fromLatin1(engine->type));
        if (!chosen)
            return usageError(QStringLiteral("--type %1: give png, bmp, png16, r16, exr or tif32.")
                                  .arg(parser.value(p.type)));
        if (fromName && fromName->extension != chosen->extension)
            return usageError(
                QStringLiteral("%1 does not match --export %2.").arg(typeOption, o.output));
    } else if (!o.outputIsFolder && !chosen) {
        return usageError(QStringLiteral("--export %1: the name must end in .png, .bmp, "
                                         ".r16, .exr or .tif, or give --type.")
                              .arg(o.output));
    }
    if (chosen) {
        o.extension = chosen->extension;
        o.exportOptions.heightmapBits = chosen->heightmapBits;
        if (!o.outputIsFolder && !fromName) o.output += o.extension;
    }

    if (const auto r = integers(parser.value(p.smooth), 1, 0, kMaxRadius))
        o.radius = r->front();
    else
        return usageError(QStringLiteral("--smooth %1: give a whole number from 0 to %2.")
                              .arg(parser.value(p.smooth), QString::number(kMaxRadius)));

    if (parser.isSet(p.crop)) {
        const auto c = integers(parser.value(p.crop), 4, 0, INT_MAX);
        if (!c || (*c)[0] >= (*c)[2] || (*c)[1] >= (*c)[3])
            return usageError(
                QStringLiteral("--crop %1: give X0,Y0,X1,Y1 with 0 <= X0 < X1 and 0 <= Y0 < Y1.")
                    .arg(parser.value(p.crop)));
        o.crop = CliCrop{(*c)[0], (*c)[1], (*c)[2], (*c)[3]};
    }
    if (parser.isSet(p.bbox)) {
        const auto b = decimals(parser.value(p.bbox), 4, -DBL_MAX, DBL_MAX);
        if (!b || (*b)[0] >= (*b)[2] || (*b)[1] >= (*b)[3])
            return usageError(QStringLiteral("--bbox %1: give WEST,SOUTH,EAST,NORTH with WEST < "
                                             "EAST and SOUTH < NORTH.")
                                  .arg(parser.value(p.bbox)));
        if (o.crop) return usageError(QStringLiteral("--crop and --bbox exclude each other."));
        o.box = bil::MapBox{(*b)[0], (*b)[1], (*b)[2], (*b)[3], parser.isSet(p.bboxLonLat)};
    } else if (parser.isSet(p.bboxLonLat)) {
        return usageError(QStringLiteral("--bbox-lonlat needs --bbox."));
    }

    if (parser.isSet(p.size)) {
        const std::optional<std::pair<int, int>> s = outputSize(parser.value(p.size));
        if (!s)
            return usageError(
                QStringLiteral(
                    "--size %1: give N or WxH, at least 1 and at most %2 samples in all.")
                    .arg(parser.value(p.size), QString::number(BILCapacity)));
        o.exportOptions.width = s->first;
        o.exportOptions.height = s->second;
    }
    if (parser.isSet(p.tiles)) {
        const std::optional<std::pair<int, int>> t = outputSize(parser.value(p.tiles));
        const auto divides = [](int samples, int parts) {
            return samples == 0 || (samples - 1) % parts == 0;
        };
        if (!t || t->first * t->second > 4096 || !parser.value(p.tiles).contains(u'x'))
            return usageError(
                QStringLiteral("--tiles %1: give CxR, such as 2x2.").arg(parser.value(p.tiles)));
        if (!divides(o.exportOptions.width, t->first) ||
            !divides(o.exportOptions.height, t->second))
            return usageError(QStringLiteral("--tiles %1: --size %2 x %3 less one does not divide "
                                             "into them.")
                                  .arg(parser.value(p.tiles))
                                  .arg(o.exportOptions.width)
                                  .arg(o.exportOptions.height));
        o.exportOptions.tilesAcross = t->first;
        o.exportOptions.tilesDown = t->second;
    }
    const std::optional<BILResampling> resampling = resamplingNamed(parser.value(p.resample));
    if (!resampling)
        return usageError(QStringLiteral("--resample %1: give cubic, bilinear or nearest.")
                              .arg(parser.value(p.resample)));
    o.exportOptions.resampling = *resampling;

    if (parser.isSet(p.range)) {
        const auto r = decimals(parser.value(p.range), 2, BILHeightLowest, BILHeightHighest);
        if (!r || (*r)[0] > (*r)[1])
            return usageError(QStringLiteral("--range %1: give LO,HI with LO <= HI, in "
                                             "metres from %2 to %3.")
                                  .arg(parser.value(p.range), QString::number(BILHeightLowest),
                                       QString::number(BILHeightHighest)));
        o.exportOptions.range = BILHeightRange{(*r)[0], (*r)[1]};
    }
    o.commonRange = parser.isSet(p.commonRange);
    if (o.commonRange && o.exportOptions.range)
        return usageError(QStringLiteral("--range and --common-range exclude each other."));
    if (parser.isSet(p.fillVoids)) {
        const auto d = integers(parser.value(p.fillVoids), 1, 1, 100000);
        if (!d)
            return usageError(QStringLiteral("--fill-voids=%1: give a distance in cells from 1 "
                                             "to 100000.")
                                  .arg(parser.value(p.fillVoids)));
        o.exportOptions.fillVoids = d->front();
    }
    o.exportOptions.worldFiles = parser.isSet(p.worldFile);
    o.exportOptions.utm = parser.isSet(p.utm);
    o.exportOptions.sidecar = parser.isSet(p.sidecar) || parser.isSet(p.engine);
    o.quiet = parser.isSet(p.quiet);
    o.colors = parser.value(p.colors);
    if (parser.isSet(p.colors) && !QFileInfo(o.colors).isFile())
        return usageError(QStringLiteral("--colors %1: no such file.").arg(o.colors));

    if (parser.isSet(p.layout)) {
        o.layout = parseLayout(parser.value(p.layout));
        if (!o.layout)
            return usageError(QStringLiteral("--layout %1: give COLUMNS,ROWS,le|be,NODATA, "
                                             "e.g. 1201,1201,be,-32768.")
                                  .arg(parser.value(p.layout)));
    }

    QHash<QString, QString> writer; // output → the input that writes it
    for (const QString &input : o.mosaic ? o.inputs.first(1) : o.inputs) {
        const QString out = CliOutputName(o, input);
        const QString key = QDir::cleanPath(QFileInfo(out).absoluteFilePath());
        if (const auto it = writer.constFind(key); it != writer.constEnd())
            return usageError(
                QStringLiteral("%1 and %2 would both be written to %3.").arg(*it, input, out));
        writer.insert(key, input);
    }
    return {CliCommand::Action::Export, std::move(o), {}};
}

QString CliOutputName(const CliOptions &options, const QString &input)
{
    if (!options.outputIsFolder) return options.output;
    return QDir(options.output).filePath(QFileInfo(input).completeBaseName() + options.extension);
}
