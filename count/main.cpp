// SPDX-License-Identifier: MIT
#include "program.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
#ifdef SIGPIPE
    // A reader that has had enough (head -1) closes the pipe; the write
    // then fails with EPIPE and the program ends quietly, instead of being
    // killed with a status that pipefail would count as a failure.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (!Count::openStandardDescriptors())
        return Count::Failed;
    QCoreApplication app(argc, argv);
    Count::loadQtTranslations(app);
    QCoreApplication::setApplicationName(QStringLiteral("tarvelo-count"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVELO_VERSION));
    return Count::run(QCoreApplication::arguments(), stdout, stderr);
}
