// SPDX-License-Identifier: MIT
#include "program.h"
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
    // Qt's own words in the help (用法, 选项) in Chinese, as tarvelo-count has them.
    Count::loadQtTranslations(app);
    return Sort::run(QCoreApplication::arguments(), stdout, stderr);
}
