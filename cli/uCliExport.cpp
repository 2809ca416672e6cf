#include "cli/uCliExport.h"

#include "elevation/uBILEngines.h"
#include "elevation/uBILExport.h"
#include "elevation/uBILFill.h"
#include "elevation/uBILLoad.h"
#include "elevation/uBILReader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <map>
#include <unistd.h>
#include <utility>

namespace {

class Batch
{
public:
    Batch(const CliOptions &options, QTextStream &log, CliProgressLine &line)
        : o(options), log(log), line(line)
    {
        // A mosaic is one grid made of all inputs, named by the first.
        if (o.mosaic)
            jobs.push_back({o.inputs.size() > 1
                                ? QStringLiteral("%1 + %2").arg(
                                      o.inputs[0], QString::number(o.inputs.size() - 1))
                                : o.inputs[0],
                            o.inputs});
        else
            for (const QString &input : o.inputs)
                jobs.push_back({input, {input}});
    }

    int run()
    {
        BILExportOptions exportOptions = o.exportOptions;
        if (o.commonRange) {
            const std::optional<BILHeightRange> common = scanAll();
            if (!common) return summary();
            exportOptions.range = common;
            if (!o.quiet)
                log << "Common height range: " << BILHeightText(common->lowest) << " to "
                    << BILHeightText(common->highest) << " m" << Qt::endl;
        }
        for (qsizetype k = 0; k < qsizetype(jobs.size()); ++k)
            if (!failed.contains(k)) exportOne(k, exportOptions);
        return summary();
    }

private:
    // What is exported as one: an input, or all of them as a mosaic.
    struct Job
    {
        QString name;
        QStringList paths;
    };

    // An input read, and the region of it to export.
    struct Opened
    {
        bil::Grid grid;
        bil::CellRegion region;
    };

    const CliOptions &o;
    QTextStream &log;
    CliProgressLine &line;
    std::vector<Job> jobs;
    bool boxOutside = false; // a --bbox held no cell of some grid: a usage error
    QStringList refusals;    // why the current input was refused
    std::map<qsizetype, QString> failed;

    QString step(qsizetype k) const
    {
        return QStringLiteral("[%1/%2] ").arg(QString::number(k + 1), QString::number(jobs.size()));
    }

    void fail(qsizetype k, const QString &why)
    {
        failed.emplace(k, why);
        line.clear();
        log << step(k) << jobs[size_t(k)].name << ": failed: " << why << Qt::endl;
    }

    // What the core warns of while an input is exported: a colour table of no use.
    std::function<void(const QString &)> warning()
    {
        return [this](const QString &text) {
            line.clear();
            log << "relieva: warning: " << text << Qt::endl;
        };
    }

    // Where the window would ask for the layout: the one given, or the
    // dialog's pre-set where it surely fits the file. A header that is there
    // but of no use, or a file the pre-set does not fit, is refused.
    bool askLayout(const QString &path, bil::GridLayout &layout)
    {
        if (o.layout) {
            layout = {o.layout->bigEndian, o.layout->width, o.layout->height, o.layout->noData};
            return true;
        }
        if (const std::optional<QString> problem = bil::headerLayoutProblem(path))
            throw BILError(problem->toStdString());
        const QFileInfo input(path);
        if (!input.isFile() || !input.isReadable()) return true; // said where it is read
        const qint64 needed = layout.width * layout.height * 2;
        if (input.size() != needed)
            throw BILError(QStringLiteral("\"%1\" has no header, and its %2 bytes are not the %3 "
                                          "that %4 x %5 samples need: give its layout with "
                                          "--layout COLUMNS,ROWS,le|be,NODATA.")
                               .arg(path, QString::number(input.size()), QString::number(needed),
                                    QString::number(layout.width), QString::number(layout.height))
                               .toStdString());
        line.clear();
        if (!o.quiet)
            log << path << ": no header; read as " << layout.width << " x " << layout.height << ", "
                << (layout.bigEndian ? "be" : "le") << ", missing " << layout.noData
                << " (the layout dialog's pre-set; --layout gives another)" << Qt::endl;
        return true;
    }

    // Reads input k and checks the region; nullopt after telling why not.
    std::optional<Opened> open(qsizetype k)
    {
        refusals.clear();
        const Job &job = jobs[size_t(k)];
        const QString &path = job.paths[0];
        std::optional<bil::Grid> grid;
        try {
            bil::LoadCallbacks callbacks{
                [this](const QString &p, bil::GridLayout &l) { return askLayout(p, l); },
                [this](const QString &text) { refusals << text; }};
            callbacks.progress = line.progress();
            if (readsRegionOnly())
                callbacks.wanted = [this](const bil::GridSource &s) { return wantedCells(s); };
            grid =
                o.mosaic ? bil::loadMosaic(job.paths, callbacks) : bil::loadGrid(path, callbacks);
        } catch (const std::exception &e) {
            fail(k, QString::fromUtf8(e.what()));
            return std::nullopt;
        }
        line.clear();
        if (!grid) {
            // A header's own sizes are refused, or its -1 taken for a cancel,
            // without a word of the header: name it, the key and the value.
            const std::optional<QString> header = bil::headerLayoutProblem(path);
            fail(k, header               ? *header
                    : refusals.isEmpty() ? QStringLiteral("nothing was read.")
                                         : refusals.join(u' '));
            return std::nullopt;
        }
        if (const int distance = o.exportOptions.fillVoids; distance > 0) {
            // Once, where it is read, so that --common-range scans the filled heights too.
            try {
                bil::Grid filled = bil::filledVoids(grid->view(), grid->geo, distance);
                filled.turned = grid->turned;
                grid = std::move(filled);
            } catch (const std::exception &e) {
                fail(k, QString::fromUtf8(e.what()));
                return std::nullopt;
            }
        }
        const int w = grid->width(), h = grid->height();
        if (o.box) {
            const std::optional<bil::CellRegion> boxed = boxCells(k, *grid);
            if (!boxed) return std::nullopt;
            return Opened{std::move(*grid), *boxed};
        }
        const CliCrop c = o.crop.value_or(CliCrop{0, 0, w, h});
        if (c.x1 > w || c.y1 > h) {
            fail(k, QStringLiteral("the region %1,%2,%3,%4 lies outside its %5 x %6 grid.")
                        .arg(QString::number(c.x0), QString::number(c.y0), QString::number(c.x1),
                             QString::number(c.y1), QString::number(w), QString::number(h)));
            return std::nullopt;
        }
        return Opened{std::move(*grid), {c.x0, c.y0, c.x1, c.y1}};
    }

    // Whether an export reads no cell beyond its region's smoothing margin:
    // not where voids are filled from around them, nor where it is resampled.
    bool readsRegionOnly() const
    {
        const BILExportOptions &e = o.exportOptions;
        return !o.mosaic && e.fillVoids == 0 && e.width == 0 && !e.utm && o.engineSizes.empty();
    }

    // The cells of source an export reads: its region and the smoothing's
    // margin; nullopt (all of them) where the region is not one, which is
    // told once the grid is read.
    std::optional<bil::CellRegion> wantedCells(const bil::GridSource &s) const
    {
        if (s.width > INT32_MAX || s.height > INT32_MAX) return std::nullopt;
        const int w = int(s.width), h = int(s.height);
        bil::CellRegion r{0, 0, w, h};
        if (o.box) {
            if (!s.geo) return std::nullopt;
            try {
                r = bil::boxRegion(*o.box, *s.geo, w, h);
            } catch (const std::exception &) {
                return std::nullopt;
            }
        } else if (o.crop) {
            if (o.crop->x1 > w || o.crop->y1 > h) return std::nullopt;
            r = {o.crop->x0, o.crop->y0, o.crop->x1, o.crop->y1};
        }
        const int64_t margin = int64_t(o.radius) + 1;
        return bil::CellRegion{
            int(std::max<int64_t>(0, r.x0 - margin)), int(std::max<int64_t>(0, r.y0 - margin)),
            int(std::min<int64_t>(w, r.x1 + margin)), int(std::min<int64_t>(h, r.y1 + margin))};
    }

    // The cells of grid inside --bbox; nullopt after telling why there are none.
    std::optional<bil::CellRegion> boxCells(qsizetype k, const bil::Grid &grid)
    {
        const bil::MapBox &b = *o.box;
        const QString box = QStringLiteral("--bbox %1,%2,%3,%4%5")
                                .arg(b.west, 0, 'g', 12)
                                .arg(b.south, 0, 'g', 12)
                                .arg(b.east, 0, 'g', 12)
                                .arg(b.north, 0, 'g', 12)
                                .arg(b.lonLat ? QStringLiteral(" --bbox-lonlat") : QString());
        if (!grid.geo) {
            fail(k, QStringLiteral("%1: the grid does not say where it lies.").arg(box));
            return std::nullopt;
        }
        bil::CellRegion region{};
        try {
            region = bil::boxRegion(b, *grid.geo, grid.width(), grid.height());
        } catch (const std::exception &e) {
            fail(k, QStringLiteral("%1: %2").arg(box, QString::fromUtf8(e.what())));
            return std::nullopt;
        }
        if (region.columns() == 0) {
            boxOutside = true;
            fail(k, QStringLiteral("%1 holds no cell centre of the grid.").arg(box));
            return std::nullopt;
        }
        return region;
    }

    // The first pass of --common-range: every input smoothed and scanned over
    // its region. Nullopt when no input could be read.
    std::optional<BILHeightRange> scanAll()
    {
        std::optional<BILHeightRange> common;
        for (qsizetype k = 0; k < qsizetype(jobs.size()); ++k) {
            const std::optional<Opened> in = open(k);
            if (!in) continue;
            BILHeightRange range;
            try {
                range = bil::regionHeightRange(in->grid.view(), o.radius, in->region,
                                               o.exportOptions.heightmapBits);
            } catch (const std::exception &e) {
                fail(k, QString::fromUtf8(e.what()));
                continue;
            }
            if (!o.quiet)
                log << step(k) << "scanned " << jobs[size_t(k)].name << ": heights "
                    << BILHeightText(range.lowest) << " to " << BILHeightText(range.highest) << " m"
                    << Qt::endl;
            common = common ? BILHeightRange{std::min(common->lowest, range.lowest),
                                             std::max(common->highest, range.highest)}
                            : range;
        }
        return common;
    }

    void exportOne(qsizetype k, const BILExportOptions &exportOptions)
    {
        QElapsedTimer timer;
        timer.start();
        const std::optional<Opened> in = open(k);
        if (!in) return;
        const QString output = CliOutputName(o, jobs[size_t(k)].paths[0]);
        const BILExportNames names = BILExportFileNames(output);
        const QStringList images{names.texture, names.heightmap};
        BILExportOptions options = exportOptions;
        options.fillVoids = 0; // filled where it was read
        options.progress = line.progress();
        const bool tiled = options.tilesAcross * options.tilesDown > 1;
        if (options.width == 0 && !o.engineSizes.empty())
            options.width = options.height = bil::nearestEngineSize(
                o.engineSizes, std::max(in->region.columns(), in->region.rows()));
        if (options.worldFiles && in->grid.turned)
            warning()(QStringLiteral("%1 lies turned against north, which no world file here "
                                     "can place; none is written.")
                          .arg(jobs[size_t(k)].name));
        BILHeightRange range;
        try {
            range = bil::exportRegion(in->grid.view(), in->grid.geo, output, o.radius, in->region,
                                      options, warning());
        } catch (const std::exception &e) {
            fail(k, QString::fromUtf8(e.what()));
            return;
        }
        line.clear();
        if (!o.quiet)
            log << step(k) << jobs[size_t(k)].name << " -> " << images.join(QStringLiteral(", "))
                << (tiled ? QStringLiteral(" in %1 x %2 tiles")
                                .arg(options.tilesAcross)
                                .arg(options.tilesDown)
                          : QString())
                << " (heights " << BILHeightText(range.lowest) << " to "
                << BILHeightText(range.highest) << " m, "
                << QString::number(timer.elapsed() / 1000.0, 'f', 2) << " s)" << Qt::endl;
    }

    int summary()
    {
        if (o.quiet && failed.empty()) return CliExitSuccess;
        const qsizetype n = qsizetype(jobs.size()), done = n - qsizetype(failed.size());
        log << "Exported " << done << " of " << n
            << (o.mosaic ? " mosaic"
                : n == 1 ? " input"
                         : " inputs");
        if (!failed.empty()) {
            QStringList names;
            for (const auto &[k, why] : failed)
                names << jobs[size_t(k)].name;
            log << "; failed: " << names.join(QStringLiteral(", "));
        }
        log << '.' << Qt::endl;
        if (boxOutside) return CliExitUsage;
        return failed.empty() ? CliExitSuccess : CliExitSomeFailed;
    }
};

} // namespace

int RunCliExport(const CliOptions &options, QTextStream &log, CliProgressLine &&line)
{
    if (!options.colors.isEmpty()) {
        LoadColorTable(options.colors);
        if (!BILColorTableProblem.isEmpty()) {
            log << "relieva: --colors: " << BILColorTableProblem << Qt::endl;
            return CliExitUsage;
        }
    } else if (!QFileInfo::exists(QStringLiteral("RELIEVA.txt")) &&
               !QFileInfo::exists(BILDefaultColorTable())) {
        // The window shows the transparent texture at once; here it would go unseen.
        log << "relieva: warning: no colour table, neither RELIEVA.txt in the working directory "
               "nor "
            << BILDefaultColorTable() << "; textures will be transparent." << Qt::endl;
    }
    // A failure to make it shows in each input's own failure to write.
    QDir().mkpath(options.outputIsFolder ? options.output : QFileInfo(options.output).path());
    Batch batch(options, log, line);
    return batch.run();
}

int RunCommandLine(const QStringList &arguments)
{
    const CliCommand command = ParseCommandLine(arguments);
    switch (command.action) {
    case CliCommand::Action::Help:
    case CliCommand::Action::Version:
        QTextStream(stdout) << command.text << Qt::endl;
        return CliExitSuccess;
    case CliCommand::Action::UsageError:
        QTextStream(stderr) << "relieva: " << command.text << Qt::endl
                            << "Try relieva --help." << Qt::endl;
        return CliExitUsage;
    case CliCommand::Action::Export:
        break;
    }
    QTextStream log(stderr);
    const bool terminal = !command.options.quiet && isatty(fileno(stderr));
    return RunCliExport(command.options, log, CliProgressLine(terminal ? stderr : nullptr));
}
