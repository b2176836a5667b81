// SPDX-License-Identifier: MIT
#include "application.h"
#include "frmmain.h"
#include "msgbox.h"
#include "runtime.h"
#include "strokelookup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The database is checked while the rest of start-up goes on.
    StrokeLookup::beginEarlyCheck(QCoreApplication::applicationDirPath());
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
