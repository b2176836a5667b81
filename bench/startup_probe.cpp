// SPDX-License-Identifier: MIT
// Starts like Tarvelo (or, built as a bare probe, like the smallest Qt
// window of the same size, with or without a line of Chinese text and an
// input box) and exits as soon as the window first paints, so that a script
// can time start-up and measure peak memory.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#ifndef TARVELO_BARE_PROBE
#include "application.h"
#include "frmmain.h"
#endif

namespace {

class FirstPaint : public QObject
{
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FirstPaint firstPaint;
#ifdef TARVELO_BARE_PROBE
    constexpr QSize designSize(329, 318);
    QWidget window;
    window.setFixedSize(designSize);
#ifdef TARVELO_TEXT_PROBE
    // What any window with Chinese text and an input box pays: the font
    // system and the input method.
    QLabel label(QStringLiteral("请输入汉字"), &window);
    QLineEdit input(&window);
    input.move(0, label.sizeHint().height());
#endif
#else
    setUpApplication(app);
    frmMain window;
    window.Form_Load();
#endif
    window.installEventFilter(&firstPaint);
    window.show();
    return app.exec();
}
