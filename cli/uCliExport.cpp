#include "cli/uCliExport.h"

#include "elevation/uBILReader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

namespace {

class Batch
{
public:
    Batch(const CliOptions &options, QTextStream &log)
        : o(options), log(log), askBefore(std::exchange(BILAskLayout, [this] { askLayout(); })),
          showBefore(std::exchange(BILShowError, [this](const QString &text) { said << text; }))
    {
    }
    ~Batch()
    {
        BILAskLayout = askBefore;
        BILShowError = showBefore;
    }
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;

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
        for (qsizetype k = 0; k < o.inputs.size(); ++k)
            if (!failed.contains(k)) exportOne(k, exportOptions);
        return summary();
    }

private:
    const CliOptions &o;
    QTextStream &log;
    std::function<void()> askBefore;
    std::function<void(const QString &)> showBefore;
    QStringList said; // what the core told the user during the current step
    QString current;  // the input being opened
    std::map<qsizetype, QString> failed;

    QString step(qsizetype k) const
    {
        return QStringLiteral("[%1/%2] ")
            .arg(QString::number(k + 1), QString::number(o.inputs.size()));
    }

    void fail(qsizetype k, const QString &why)
    {
        failed.emplace(k, why);
        log << step(k) << o.inputs[k] << ": failed: " << why << Qt::endl;
    }

    // What the core told during a step that succeeded: a colour table of no use.
    void warnSaid()
    {
        for (const QString &text : std::exchange(said, {}))
            log << "relieva: warning: " << text << Qt::endl;
    }

    // Where the window would ask for the layout: the one given, or the
    // dialog's pre-set where it surely fits the file. A header that is there
    // but of no use, or a file the pre-set does not fit, is refused.
    void askLayout()
    {
        if (o.layout) {
            BILWidth = o.layout->width;
            BILHeight = o.layout->height;
            BILBigEndian = o.layout->bigEndian;
            BILNoData = o.layout->noData;
            return;
        }
        if (const std::optional<QString> problem = bil::headerLayoutProblem(current))
            throw BILError(problem->toStdString());
        const QFileInfo input(current);
        if (!input.isFile() || !input.isReadable()) return; // said where it is read
        const qint64 needed = qint64(BILWidth) * BILHeight * 2;
        if (input.size() != needed)
            throw BILError(QStringLiteral("\"%1\" has no header, and its %2 bytes are not the %3 "
                                          "that %4 x %5 samples need: give its layout with "
                                          "--layout COLUMNS,ROWS,le|be,NODATA.")
                               .arg(current, QString::number(input.size()),
                                    QString::number(needed), QString::number(BILWidth),
                                    QString::number(BILHeight))
                               .toStdString());
        if (!o.quiet)
            log << current << ": no header; read as " << BILWidth << " x " << BILHeight << ", "
                << (BILBigEndian ? "be" : "le") << ", missing " << BILNoData
                << " (the layout dialog's pre-set; --layout gives another)" << Qt::endl;
    }

    // Opens input k into the grid and checks the region; gives the region,
    // or nullopt after telling why not.
    std::optional<CliCrop> open(qsizetype k)
    {
        said.clear();
        current = o.inputs[k];
        QImage preview;
        try {
            OpenBILFile(current, preview);
        } catch (const std::exception &e) {
            fail(k, QString::fromUtf8(e.what()));
            return std::nullopt;
        }
        if (preview.isNull()) {
            // A header's own sizes are refused, or its -1 taken for a cancel,
            // without a word of the header: name it, the key and the value.
            const std::optional<QString> header = bil::headerLayoutProblem(current);
            fail(k, header            ? *header
                    : said.isEmpty() ? QStringLiteral("nothing was read.")
                                     : said.join(u' '));
            return std::nullopt;
        }
        warnSaid();
        const CliCrop region = o.crop.value_or(CliCrop{0, 0, BILWidth, BILHeight});
        if (region.x1 > BILWidth || region.y1 > BILHeight) {
            fail(k, QStringLiteral("the region %1,%2,%3,%4 lies outside its %5 x %6 grid.")
                        .arg(QString::number(region.x0), QString::number(region.y0),
                             QString::number(region.x1), QString::number(region.y1),
                             QString::number(BILWidth), QString::number(BILHeight)));
            return std::nullopt;
        }
        return region;
    }

    // The first pass of --common-range: every input smoothed and scanned over
    // its region. Nullopt when no input could be read.
    std::optional<BILHeightRange> scanAll()
    {
        std::optional<BILHeightRange> common;
        for (qsizetype k = 0; k < o.inputs.size(); ++k) {
            const std::optional<CliCrop> r = open(k);
            if (!r) continue;
            const BILHeightRange range = BILRegionHeightRange(
                o.radius, r->x0, r->y0, r->x1, r->y1, o.exportOptions.heightmapBits);
            if (!o.quiet)
                log << step(k) << "scanned " << o.inputs[k] << ": heights "
                    << BILHeightText(range.lowest) << " to " << BILHeightText(range.highest)
                    << " m" << Qt::endl;
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
        const std::optional<CliCrop> r = open(k);
        if (!r) return;
        const QString output = CliOutputName(o, o.inputs[k]);
        const BILExportNames names = BILExportFileNames(output);
        const QStringList images{names.texture, names.heightmap};

        std::optional<BILHeightRange> range;
        QString why;
        try {
            range = ExportBIL(output, o.radius, r->x0, r->y0, r->x1, r->y1, exportOptions);
            if (!range)
                why = said.isEmpty() ? QStringLiteral("nothing was written.") : said.join(u' ');
        } catch (const std::exception &e) {
            why = QString::fromUtf8(e.what());
        }
        if (!range) {
            fail(k, why);
            return;
        }
        warnSaid();
        if (!o.quiet)
            log << step(k) << o.inputs[k] << " -> " << images.join(QStringLiteral(", "))
                << " (heights " << BILHeightText(range->lowest) << " to "
                << BILHeightText(range->highest) << " m, "
                << QString::number(timer.elapsed() / 1000.0, 'f', 2) << " s)" << Qt::endl;
    }

    int summary()
    {
        if (o.quiet && failed.empty()) return CliExitSuccess;
        const qsizetype n = o.inputs.size(), done = n - qsizetype(failed.size());
        log << "Exported " << done << " of " << n << (n == 1 ? " input" : " inputs");
        if (!failed.empty()) {
            QStringList names;
            for (const auto &[k, why] : failed)
                names << o.inputs[k];
            log << "; failed: " << names.join(QStringLiteral(", "));
        }
        log << '.' << Qt::endl;
        return failed.empty() ? CliExitSuccess : CliExitSomeFailed;
    }
};

} // namespace

int RunCliExport(const CliOptions &options, QTextStream &log)
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
    Batch batch(options, log);
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
    return RunCliExport(command.options, log);
}
