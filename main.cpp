// SPDX-License-Identifier: MIT
#include "application.h"
#include "frmmain.h"
#include "msgbox.h"
#include "runtime.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app);

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
