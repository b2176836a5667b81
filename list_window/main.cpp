// SPDX-License-Identifier: MIT
#include "application.h"
#include "listwindow.h"
#include "msgbox.h"
#include "runtime.h"
#include "runtimeerror.h"
#include "strokedata.h"

#include <QApplication>

#include <future>
#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Reading every count and sequence takes about as long as setting up
    // the application and building the window, so the two go on side by
    // side; the window shows only once both are done, and not at all when
    // the reading fails.
    const QString folder = QCoreApplication::applicationDirPath();
    auto reading = std::async(std::launch::async, [folder] { return std::make_unique<StrokeRules>(folder); });
    setUpApplication(app, InterfaceFont::System);
    // Its own name and desktop entry, so the desktop tells it from the
    // main window.
    QApplication::setApplicationName(QStringLiteral("tarvelo-list"));
    QApplication::setDesktopFileName(QStringLiteral("org.example.tarvelo.List"));
    ListWindow window;
    std::unique_ptr<StrokeRules> rules;
    try {
        rules = reading.get();
    } catch (const RuntimeError &error) {
        MsgBox(error.description(), vbCritical, window.windowTitle());
        return uncaughtErrorExitCode;
    }
    window.setRules(*rules);
    window.show();
    return app.exec();
}
