// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QSaveFile;

namespace CommandLine {

// The file that PATH names once its symbolic links are followed, as
// QSaveFile follows them, when it is a regular file or does not exist yet;
// else empty, with PROBLEM saying why for the user. A device node, a named
// pipe or a socket is never replaced by a regular file of that name.
QString replaceableTarget(const QString &path, QString *problem);

// Gives the new, still open FILE that is to replace TARGET the owner,
// group, mode and extended attributes TARGET has, as far as the caller may
// set them, so that the replacement is to its readers what the old file
// was. Nothing happens when TARGET does not exist.
void keepAttributes(QSaveFile &file, const QString &target);

} // namespace CommandLine
