// SPDX-License-Identifier: MIT
#include "appinfo.h"
#include "frmmain.h"
#include "msgbox.h"
#include "runtime.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(App::title);
    QApplication::setApplicationDisplayName(App::title);
    QApplication::setApplicationVersion(App::versionText);

    frmMain window;
    try {
        window.Form_Load();
    } catch (const RuntimeError &error) {
        MsgBox(error.description(), vbCritical);
        return uncaughtErrorExitCode;
    }
    window.show();
    return app.exec();
}
