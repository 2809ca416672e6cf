#include "cli/uCliOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace {

constexpr int kMaxRadius = 4; // as the window's smoothing box allows
const QString kNamePlaceholder = QStringLiteral("{name}");

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption help{{"h", "help"}, "Shows this help and exits."};
    QCommandLineOption version{{"v", "version"}, "Shows the program's version and exits."};
    QCommandLineOption output{
        {"o", "export"},
        "Writes each input's texture and heightmap as OUT with \"-tx\" and \"-ht\" before the "
        "extension (.png or .bmp): out.png gives out.-tx.png and out.-ht.png. With several "
        "inputs, OUT holds {name}, which stands for each input's file name without extension.",
        "OUT"};
    QCommandLineOption radius{{"r", "radius"},
                              "Smooths the heights over (2 R + 1)^2 samples first, R from 0 to 4.",
                              "R",
                              "0"};
    QCommandLineOption crop{"crop",
                            "Exports only the samples X0 <= x < X1, Y0 <= y < Y1 of each grid "
                            "(default: the whole grid).",
                            "X0,Y0,X1,Y1"};
    QCommandLineOption bits{"bits", "Heightmap depth: 8, or 16 (PNG only).", "BITS", "8"};
    QCommandLineOption range{"range",
                             "Maps the heights LOW and HIGH (metres) to black and white in every "
                             "heightmap instead of each region's own lowest and highest height.",
                             "LOW,HIGH"};
    QCommandLineOption commonRange{
        "common-range",
        "Maps the lowest and highest height found over all inputs (smoothed, cropped) to black "
        "and white, so that tiles' heightmaps agree where they meet."};
    QCommandLineOption worldFiles{
        "world-files", "Writes a world file beside each image of a grid whose file places it."};
    QCommandLineOption layout{
        "layout",
        "The layout of inputs without a header: columns x rows, then optionally \"big\" or "
        "\"little\" for the byte order (default little) and the missing-sample value (default "
        "-32768). Without it only SRTM .hgt tiles are read headerless.",
        "WxH[,ORDER][,NODATA]"};
    const QList<QCommandLineOption> options{output,      radius,     crop,   bits, range,
                                            commonRange, worldFiles, layout, help, version};

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
        return QStringLiteral("Usage: relieva --export OUT [options] INPUT...") +
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

std::optional<CliLayout> parseLayout(const QString &text)
{
    QStringList parts = text.split(u',');
    const QStringList size = parts.takeFirst().split(u'x', Qt::KeepEmptyParts, Qt::CaseInsensitive);
    if (size.size() != 2) return std::nullopt;
    CliLayout layout;
    bool okW = false, okH = false;
    layout.width = size[0].toInt(&okW);
    layout.height = size[1].toInt(&okH);
    if (!okW || !okH || layout.width <= 0 || layout.height <= 0) return std::nullopt;
    bool orderGiven = false, noDataGiven = false;
    for (const QString &part : parts) {
        if (!orderGiven && !noDataGiven && (part == u"big" || part == u"little")) {
            layout.bigEndian = part == u"big";
            orderGiven = true;
            continue;
        }
        bool ok = false;
        layout.noData = part.toInt(&ok);
        if (!ok || noDataGiven || layout.noData < BILHeightLowest ||
            layout.noData > BILHeightHighest)
            return std::nullopt;
        noDataGiven = true;
    }
    return layout;
}

bool hasImageExtension(const QString &output)
{
    const QString suffix = QFileInfo(output).suffix().toLower();
    return suffix == u"png" || suffix == u"bmp";
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
    if (!parser.parse(arguments)) return usageError(parser.errorText());
    if (parser.isSet(p.help)) return {CliCommand::Action::Help, {}, p.helpText()};
    if (parser.isSet(p.version))
        return {CliCommand::Action::Version, {}, QStringLiteral("relieva " RELIEVA_VERSION)};

    CliOptions o;
    o.output = parser.value(p.output);
    o.inputs = parser.positionalArguments();
    if (!parser.isSet(p.output))
        return usageError(QStringLiteral("Missing --export OUT: the command line writes images. "
                                         "(relieva FILE alone opens FILE in the window.)"));
    if (parser.values(p.output).size() > 1)
        return usageError(QStringLiteral("--export is given more than once."));
    if (!hasImageExtension(o.output))
        return usageError(
            QStringLiteral("--export %1: the name must end in .png or .bmp.").arg(o.output));
    if (o.inputs.isEmpty()) return usageError(QStringLiteral("No input files."));

    if (const auto r = integers(parser.value(p.radius), 1, 0, kMaxRadius))
        o.radius = r->front();
    else
        return usageError(QStringLiteral("--radius %1: give a whole number from 0 to %2.")
                              .arg(parser.value(p.radius), QString::number(kMaxRadius)));

    if (parser.isSet(p.crop)) {
        const auto c = integers(parser.value(p.crop), 4, 0, BILCapacity);
        if (!c || (*c)[0] >= (*c)[2] || (*c)[1] >= (*c)[3])
            return usageError(
                QStringLiteral("--crop %1: give X0,Y0,X1,Y1 with 0 <= X0 < X1 and 0 <= Y0 < Y1.")
                    .arg(parser.value(p.crop)));
        o.crop = CliCrop{(*c)[0], (*c)[1], (*c)[2], (*c)[3]};
    }

    const QString bits = parser.value(p.bits);
    if (bits != u"8" && bits != u"16")
        return usageError(QStringLiteral("--bits %1: give 8 or 16.").arg(bits));
    o.exportOptions.heightmapBits = bits.toInt();
    if (o.exportOptions.heightmapBits == 16 && QFileInfo(o.output).suffix().toLower() != u"png")
        return usageError(QStringLiteral("--bits 16 needs a .png export name."));

    if (parser.isSet(p.range)) {
        const auto r = integers(parser.value(p.range), 2, BILHeightLowest, BILHeightHighest);
        if (!r || (*r)[0] > (*r)[1])
            return usageError(QStringLiteral("--range %1: give LOW,HIGH with LOW <= HIGH, in "
                                             "metres from %2 to %3.")
                                  .arg(parser.value(p.range), QString::number(BILHeightLowest),
                                       QString::number(BILHeightHighest)));
        o.exportOptions.range = BILHeightRange{int16_t((*r)[0]), int16_t((*r)[1])};
    }
    o.commonRange = parser.isSet(p.commonRange);
    if (o.commonRange && o.exportOptions.range)
        return usageError(QStringLiteral("--range and --common-range exclude each other."));
    o.exportOptions.worldFiles = parser.isSet(p.worldFiles);

    if (parser.isSet(p.layout)) {
        o.layout = parseLayout(parser.value(p.layout));
        if (!o.layout)
            return usageError(QStringLiteral("--layout %1: give WIDTHxHEIGHT, then optionally "
                                             "big or little, then the missing-sample value, "
                                             "e.g. 1201x1201,big,-32768.")
                                  .arg(parser.value(p.layout)));
    }

    if (o.inputs.size() > 1 && !o.output.contains(kNamePlaceholder))
        return usageError(QStringLiteral("%1 inputs would all be written to %2: put {name} in the "
                                         "--export name, e.g. out/{name}.png.")
                              .arg(QString::number(o.inputs.size()), o.output));
    QHash<QString, QString> writer; // output → the input that writes it
    for (const QString &input : o.inputs) {
        const QString out =
            QDir::cleanPath(QFileInfo(CliOutputName(o.output, input)).absoluteFilePath());
        if (const auto it = writer.constFind(out); it != writer.constEnd())
            return usageError(QStringLiteral("%1 and %2 would both be written to %3.")
                                  .arg(*it, input, CliOutputName(o.output, input)));
        writer.insert(out, input);
    }
    return {CliCommand::Action::Export, std::move(o), {}};
}

QString CliOutputName(const QString &output, const QString &input)
{
    QString name = output;
    return name.replace(kNamePlaceholder, QFileInfo(input).completeBaseName());
}
