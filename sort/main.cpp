// SPDX-License-Identifier: MIT
#include "program.h"
#include "sortprogram.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <new>

int main(int argc, char *argv[])
{
#ifdef SIGPIPE
    // A reader that has had enough (head -1) closes the pipe; the write
    // then fails with EPIPE and the program ends quietly.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (!Count::openStandardDescriptors())
        return Sort::Failed;
    QCoreApplication app(argc, argv);
    Count::loadQtTranslations(app);
    QCoreApplication::setApplicationName(QStringLiteral("tarvelo-sort"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVELO_VERSION));
    try {
        return Sort::run(QCoreApplication::arguments(), stdout, stderr);
    } catch (const std::bad_alloc &) {
        // Worded without Qt, which may need memory to translate.
        std::fputs("tarvelo-sort: 内存不够，无法继续。\n", stderr);
        return Sort::Failed;
    }
}
