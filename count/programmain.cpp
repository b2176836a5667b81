// SPDX-License-Identifier: MIT
#include "programmain.h"

#include "program.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <new>

namespace Count {

int runProgram(int argc, char *argv[], const char *name, const char *version, const std::function<int()> &body)
{
#ifdef SIGPIPE
    // A reader that has had enough (head -1) closes the pipe; the write
    // then fails with EPIPE and the program ends quietly, instead of being
    // killed with a status that pipefail would count as a failure.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (!openStandardDescriptors())
        return Failed;
    QCoreApplication app(argc, argv);
    loadQtTranslations(app);
    QCoreApplication::setApplicationName(QString::fromLatin1(name));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(version));
    try {
        return body();
    } catch (const std::bad_alloc &) {
        // Worded without Qt, which may need memory to translate.
        std::fprintf(stderr, "%s: 内存不够，无法继续。\n", name);
        return Failed;
    }
}

} // namespace Count
