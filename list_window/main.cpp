// SPDX-License-Identifier: MIT
#include "application.h"
#include "cellstrokes.h"
#include "listwindow.h"
#include "msgbox.h"
#include "runtime.h"
#include "runtimeerror.h"
#include "strokedata.h"
#include "strokeorder.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setUpApplication(app, InterfaceFont::System);
    // Its own name and desktop entry, so the desktop tells it from the
    // main window.
    QApplication::setApplicationName(QStringLiteral("tarvelo-list"));
    QApplication::setDesktopFileName(QStringLiteral("org.example.tarvelo.List"));

    StrokeData data;
    try {
        loadStrokeData(QCoreApplication::applicationDirPath(), &data);
    } catch (const RuntimeError &error) {
        MsgBox(error.description(), vbCritical, QStringLiteral("名单笔画排序"));
        return uncaughtErrorExitCode;
    }
    const StrokeOrder order(data.counts, data.sequences);
    const CellStrokes strokes(data.counts, data.sequences);
    ListWindow window(strokes, order);
    window.show();
    return app.exec();
}
