// SPDX-License-Identifier: MIT
// Starts like Tarvelo (or, built as a bare probe, like the smallest Qt
// window of the same size, alone, with a line of Chinese text and an input
// box, after opening the stroke database, or with both the database and a
// line of text in the windows' own font: the floor that any Tarvelo pays),
// prints the wall-clock time of
// the window's first paint in nanoseconds since the epoch and exits, so that
// a script can time start-up without the time taken to shut down, and
// measure peak memory.
#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>

#ifdef TARVELO_LIST_PROBE
#include "application.h"
#include "listwindow.h"
#include "strokedata.h"
#elif !defined(TARVELO_BARE_PROBE)
#include "application.h"
#include "frmmain.h"
#endif
#if (!defined(TARVELO_BARE_PROBE) && !defined(TARVELO_LIST_PROBE)) || defined(TARVELO_DATABASE_PROBE)
#include "strokelookup.h"
#endif
#ifdef TARVELO_FLOOR_PROBE
#include "design.h"
#endif

namespace {

class FirstPaint : public QObject
{
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            std::printf("%lld\n", static_cast<long long>(std::chrono::nanoseconds(now).count()));
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_painted = false;
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
#ifdef TARVELO_DATABASE_PROBE
    // What any window pays that opens the stroke database before it shows.
    data::Connection conn;
    StrokeLookup::openDatabase(conn, QCoreApplication::applicationDirPath());
#endif
#ifdef TARVELO_FLOOR_PROBE
    // The windows' own face, as the application sets it up.
    constexpr int designPointSize = 9;
    QFont font = QApplication::font();
    font.setFamilies(Design::songFontFamilies() << font.family());
    font.setPointSize(designPointSize);
    QApplication::setFont(font);
    QLabel prompt(QStringLiteral("请输入汉字(不超过十个):"), &window);
#endif
#elif defined(TARVELO_LIST_PROBE)
    // As tarvelo-list starts, less the handling of a failure to open.
    setUpApplication(app, InterfaceFont::System);
    ListWindow window;
    StrokeRules rules(QCoreApplication::applicationDirPath(), StrokeRules::Counts::ReadLater);
    window.setRules(rules);
#else
    // As Tarvelo starts, less the handling of a failure to open.
    setUpApplication(app);
    frmMain window;
    window.Form_Load();
#endif
    window.installEventFilter(&firstPaint);
    window.show();
    return app.exec();
}
