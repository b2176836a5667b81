// SPDX-License-Identifier: MIT
#include "sortprogram.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
#ifdef SIGPIPE
    // A reader that has had enough (head -1) closes the pipe; the write
    // then fails with EPIPE and the program ends quietly.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvelo-sort"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVELO_VERSION));
    return Sort::run(QCoreApplication::arguments(), stdout, stderr);
}
