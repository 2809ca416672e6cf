#pragma once

// The platform's path rules, as the loader and the export apply them to the
// names the user gives.

#include <QString>

namespace bil {

// Where the file name starts: after the last separator ("/" here; "\", "/"
// and ":" on Windows).
qsizetype fileNameStart(const QString &path);

// Position of the extension's dot, or the length of path when it has none.
qsizetype extensionStart(const QString &path);

// The path as the user's system writes it, for messages.
QString nativePath(const QString &path);

// The running program's own file, or empty when the system does not say.
QString executablePath();

} // namespace bil
