// SPDX-License-Identifier: MIT
#include "programmain.h"
#include "sortprogram.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    return CommandLine::runProgram(argc, argv, "tarvelo-sort", TARVELO_VERSION,
                             [] { return Sort::run(QCoreApplication::arguments(), stdout, stderr); });
}
