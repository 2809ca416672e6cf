#pragma once

// The command line's work: every input opened and exported in turn through
// the same routines as the window, progress and failures told on log.

#include "cli/uCliOptions.h"
#include "cli/uCliProgress.h"

#include <QStringList>
#include <QTextStream>

// Exit statuses.
constexpr int CliExitSuccess = 0;
constexpr int CliExitSomeFailed = 1; // the other inputs were exported
constexpr int CliExitUsage = 2;      // nothing was read or written

// Exports every input as the options say, one after the other; an input that
// fails leaves no image of its own and does not stop the others. Installs
// its own BILAskLayout and BILShowError for the run and puts back the ones
// before. Gives CliExitSuccess or CliExitSomeFailed, or CliExitUsage when the
// --colors table is of no use. line shows how far each input has got, and is
// wiped before each line of the log.
int RunCliExport(const CliOptions &options, QTextStream &log,
                 CliProgressLine &&line = CliProgressLine());

// The command-line mode: parses the arguments (the program's name first),
// prints the help or version on standard output, or a usage error, or runs
// the export with its log on standard error, and a progress line there
// when it is a terminal and -q is not given. Gives the exit status.
int RunCommandLine(const QStringList &arguments);
