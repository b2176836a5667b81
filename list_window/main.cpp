// SPDX-License-Identifier: MIT
#include "application.h"
#include "listwindow.h"
#include "msgbox.h"
#include "runtime.h"
#include "runtimeerror.h"
#include "strokedata.h"

#include <QApplication>
#include <QTimer>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app, InterfaceFont::System);
    // Its own name and desktop entry, so the desktop tells it from the
    // main window.
    QApplication::setApplicationName(QStringLiteral("tarvelo-list"));
    QApplication::setDesktopFileName(QStringLiteral("org.example.tarvelo.List"));
    ListWindow window;
    std::unique_ptr<StrokeRules> rules;
    try {
        // The window shows only once the database is checked whole and the
        // sequences are read, and not at all when either fails; as the main
        // window, it need not wait for every count to be read as well.
        rules = std::make_unique<StrokeRules>(QCoreApplication::applicationDirPath(),
                                              StrokeRules::Counts::ReadLater);
    } catch (const RuntimeError &error) {
        MsgBox(error.description(), vbCritical, window.windowTitle());
        return uncaughtErrorExitCode;
    }
    window.setRules(*rules);
    window.show();
    // A file named on the command line opens as if dropped on the window.
    if (const QString path = QCoreApplication::arguments().value(1); !path.isEmpty())
        QTimer::singleShot(0, &window, [&window, path] { window.openFile(path); });
    return app.exec();
}
