// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <functional>

// What happens to a run-time error that no handler catches: it is
// reported in a message box and the application ends with this status.
inline constexpr int uncaughtErrorExitCode = 1;

// Reports DESCRIPTION as an uncaught error, then ends the application.
void reportUncaughtError(const QString &description);

// Tests take the place of the default report and end.
void setUncaughtErrorHandler(std::function<void(const QString &)> handler);

// Runs one event handler. An error escaping it leaves the handler at once
// and is reported as uncaught; what the handler changed stays changed.
void runHandler(const std::function<void()> &handler);
