#include "elevation/uBILFileSet.h"

#include "elevation/uBILPaths.h"
#include "elevation/uBILTypes.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRandomGenerator>

#include <filesystem>
#include <memory>
#include <set>
#include <system_error>
#include <utility>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

fs::path fsPath(const QString &path)
{
#ifdef Q_OS_WIN
    return fs::path(path.toStdWString());
#else
    return fs::path(QFile::encodeName(path).toStdString());
#endif
}

[[noreturn]] void cannotWrite(const QString &path, const QString &why)
{
    throw BILError(
        QStringLiteral("Cannot write \"%1\": %2").arg(bil::nativePath(path), why).toStdString());
}

QString reason(const std::error_code &error)
{
    return QString::fromLocal8Bit(error.message());
}

// A hidden name beside path that nothing else uses yet.
QString nameBeside(const QString &path)
{
    const qsizetype start = bil::fileNameStart(path);
    return path.left(start) + u'.' + path.sliced(start) + u'.' +
           QString::number(QRandomGenerator::global()->generate(), 16) + QStringLiteral(".tmp");
}

// Flushes what the system still holds of file to the disk: a rename is
// atomic, but without this a crash can leave the new name on empty blocks.
bool syncToDisk(QFile &file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

} // namespace

namespace bil {

FileSet::~FileSet()
{
    for (const Entry &entry : entries)
        if (!entry.temporary.isEmpty()) QFile::remove(entry.temporary);
}

void FileSet::write(const QString &path, QByteArrayView bytes)
{
    write(path, [&](QIODevice &out) {
        // A write that fills the disk takes what fits; only the next one says why.
        for (qsizetype done = 0; done < bytes.size();) {
            const qint64 n = out.write(bytes.data() + done, bytes.size() - done);
            if (n <= 0) cannotWrite(path, out.errorString());
            done += qsizetype(n);
        }
    });
}

void FileSet::write(const QString &path, const std::function<void(QIODevice &)> &writeTo)
{
    // Unbuffered: every write reaches the system at once, and its failure is
    // seen there, not lost in a later flush.
    QFile file;
    do {
        file.setFileName(nameBeside(path));
    } while (!file.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered) &&
             file.exists());
    if (!file.isOpen()) cannotWrite(path, file.errorString());
    entries.push_back({path, file.fileName()});
    writeTo(file);
    if (!syncToDisk(file)) cannotWrite(path, qt_error_string(errno));
    file.close();
    if (file.error() != QFileDevice::NoError) cannotWrite(path, file.errorString());
}

void FileSet::remove(const QString &path)
{
    entries.push_back({path, QString()});
}

void FileSet::commit()
{
    std::set<QString> folders;
    for (const Entry &entry : entries)
        folders.insert(QFileInfo(entry.path).absolutePath());
    // Taken in one order everywhere, so that two exports never wait on each other.
    std::vector<std::unique_ptr<QLockFile>> locks;
    for (const QString &folder : folders) {
        auto lock = std::make_unique<QLockFile>(folder + QStringLiteral("/.relieva.lock"));
        lock->setStaleLockTime(0); // held for a few renames; only a dead owner's is stale
        if (!lock->lock())
            cannotWrite(
                entries.front().path,
                QStringLiteral("the folder \"%1\" cannot be locked.").arg(nativePath(folder)));
        locks.push_back(std::move(lock));
    }
    putInPlace();
    entries.clear();
}

void FileSet::putInPlace()
{
    struct Replaced
    {
        fs::path target;
        bool existed;
        fs::path backup; // a second link to the file replaced, where one could be made
    };
    std::vector<Replaced> done;
    std::error_code ignored;
    const auto dropBackups = [&] {
        for (const Replaced &r : done)
            if (!r.backup.empty()) fs::remove(r.backup, ignored);
    };
    for (const Entry &entry : entries) {
        Replaced step{fsPath(entry.path), false, {}};
        std::error_code error;
        step.existed = fs::exists(fs::symlink_status(step.target, error));
        if (step.existed) {
            step.backup = fsPath(nameBeside(entry.path));
            fs::create_hard_link(step.target, step.backup, error);
            if (error) step.backup.clear();
        }
        error.clear(); // a name not there yet sets it too
        if (!entry.temporary.isEmpty())
            fs::rename(fsPath(entry.temporary), step.target, error);
        else if (step.existed)
            fs::remove(step.target, error);
        if (error) {
            if (!step.backup.empty()) fs::remove(step.backup, ignored);
            // Back to the files there before; a file new to the folder goes again.
            for (auto r = done.rbegin(); r != done.rend(); ++r) {
                if (!r->backup.empty())
                    fs::rename(std::exchange(r->backup, fs::path()), r->target, ignored);
                else if (!r->existed)
                    fs::remove(r->target, ignored);
            }
            dropBackups();
            cannotWrite(entry.path, reason(error));
        }
        done.push_back(std::move(step));
    }
    dropBackups();
}

} // namespace bil
