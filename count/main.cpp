// SPDX-License-Identifier: MIT
#include "counter.h"
#include "program.h"
#include "programmain.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    return CommandLine::runProgram(argc, argv, "tarvelo-count", TARVELO_VERSION, [argc, argv] {
        return Count::run(Count::argumentsFromBytes(argc, argv), stdout, stderr);
    });
}
