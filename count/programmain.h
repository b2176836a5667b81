// SPDX-License-Identifier: MIT
#pragma once

#include <functional>

namespace Count {

// What every command-line program does around BODY, its run over the
// arguments: descriptors 0 to 2 made sure of, a quiet end when the reader
// closes the pipe, a QCoreApplication named NAME with VERSION and Qt's
// Chinese texts, and a message instead of an abort when memory runs out.
// Returns BODY's exit status, or Failed.
int runProgram(int argc, char *argv[], const char *name, const char *version, const std::function<int()> &body);

} // namespace Count
