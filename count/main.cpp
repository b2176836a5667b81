// SPDX-License-Identifier: MIT
#include "counter.h"
#include "program.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <new>

int main(int argc, char *argv[])
{
#ifdef SIGPIPE
    // A reader that has had enough (head -1) closes the pipe; the write
    // then fails with EPIPE and the program ends quietly, instead of being
    // killed with a status that pipefail would count as a failure.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvelo-count"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVELO_VERSION));
    try {
        return Count::run(Count::argumentsFromBytes(argc, argv), stdout, stderr);
    } catch (const std::bad_alloc &) {
        // Worded without Qt, which may need memory to translate.
        std::fputs("tarvelo-count: 内存不够，无法继续。\n", stderr);
        return Count::Failed;
    }
}
