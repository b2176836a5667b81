// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <memory>
#include <vector>

// The files that one build writes, replaced as a set: each is written
// beside the file it replaces, and none replaces its file until every one
// is written, so a failure leaves all of them as they were. Where the
// system allows it (Linux), a file being written has no name at all until
// it replaces its file, so a killed build leaves nothing behind.
class OutputFiles
{
public:
    // The file that PATH names, after its symbolic links: the file that is
    // replaced, while the links stay as they are. Throws RuntimeError when
    // that exists and is not a regular file (a folder, a device, a pipe),
    // which is never replaced.
    static QString target(const QString &path);

    // A new, empty file for PATH, open for writing, which replaces PATH's
    // target on commit().
    QSaveFile &open(const QString &path);
    // A new file for PATH holding BYTES.
    void add(const QString &path, const QByteArray &bytes);

    // Replaces every target. All content is on disk before the first
    // target is replaced, so what remains to fail is a rename. Throws
    // RuntimeError.
    void commit();

private:
    std::vector<std::unique_ptr<QSaveFile>> m_files;
};

// Why writing NAME failed, from the system's error number ERROR (0 when
// unknown) or else Qt's DETAIL: lack of space in words of its own, as
// the system's text alone is English and easily overlooked.
QString writeFailure(const QString &name, int error, const QString &detail = {});
