#pragma once

// The files of one export, all put in place together or none at all.

#include <QByteArrayView>
#include <QIODevice>
#include <QString>

#include <functional>
#include <vector>

namespace bil {

// Each file is written in full to a temporary file beside its place, every
// write checked and the data flushed to the disk; commit() then puts them
// all in place, one rename each. Until then, and after any failure, every
// file that was there stays as it was, and no temporary file is left.
class FileSet
{
public:
    FileSet() = default;
    ~FileSet();
    FileSet(const FileSet &) = delete;
    FileSet &operator=(const FileSet &) = delete;

    // bytes are to become path; throws BILError naming path and the system's
    // reason when they cannot be written.
    void write(const QString &path, QByteArrayView bytes);
    // What writeTo writes to out, from its start, is to become path. writeTo
    // checks its writes and throws as above when one fails; out can seek.
    void write(const QString &path, const std::function<void(QIODevice &out)> &writeTo);
    // path is to go, where it is (a world file that would misplace a new image).
    void remove(const QString &path);

    // Puts every file in place. Exports to the same folder commit one at a
    // time, in this and in other processes, so that two exports to the same
    // names leave the files of one of them. A failure puts back what was
    // replaced or removed so far, and throws BILError naming the file.
    void commit();

private:
    struct Entry
    {
        QString path;
        QString temporary; // empty for a file that is to go
    };
    void putInPlace();

    std::vector<Entry> entries;
};

} // namespace bil
