// SPDX-License-Identifier: MIT
#include "runtime.h"

#include "msgbox.h"
#include "runtimeerror.h"

#include <QApplication>
#include <QWidget>

namespace {

std::function<void(const QString &)> &customHandler()
{
    static std::function<void(const QString &)> handler;
    return handler;
}

} // namespace

void setUncaughtErrorHandler(std::function<void(const QString &)> handler)
{
    customHandler() = std::move(handler);
}

void reportUncaughtError(const QString &description)
{
    if (customHandler()) {
        customHandler()(description);
        return;
    }
    MsgBox(description, vbCritical);
    // Ends every event loop, the nested ones of modal windows included.
    QCoreApplication::exit(uncaughtErrorExitCode);
    for (QWidget *window : QApplication::topLevelWidgets())
        window->hide();
}

void runHandler(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const RuntimeError &error) {
        reportUncaughtError(error.description());
    } catch (const std::bad_alloc &) {
        reportUncaughtError(QStringLiteral("内存不足。"));
    } catch (const std::exception &error) {
        reportUncaughtError(QString::fromLocal8Bit(error.what()));
    }
}
