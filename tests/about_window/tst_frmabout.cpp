// SPDX-License-Identifier: MIT
#include "frmabout.h"
#include "frmmain.h"
#include "module1.h"
#include "runtime.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr int fadeTicks = 51;

class Recorder final : public Module1::Backend
{
public:
    void makeLayered(QWidget *) override { ++layered; }
    void setLayeredAlpha(QWidget *, quint8 alpha) override
    {
        if (layered == 0)
            alphaBeforeLayered = true;
        alphas.append(alpha);
    }
    void beginWindowMove(QWidget *) override { ++moves; }

    int layered = 0;
    bool alphaBeforeLayered = false;
    QList<int> alphas;
    int moves = 0;
};

QList<int> rising(int from, int count)
{
    QList<int> values;
    for (int i = 0; i < count; ++i)
        values.append(from + 5 * i);
    return values;
}

} // namespace

class FrmAboutTest : public QObject
{
    Q_OBJECT

private:
    Recorder m_recorder;
    QStringList m_uncaught;

    template<typename T>
    static T *child(frmAbout &about, const char *name)
    {
        return about.findChild<T *>(QString::fromLatin1(name));
    }

    static bool timerActive(frmAbout &about, const char *name)
    {
        return child<QTimer>(about, name)->isActive();
    }

    // One 20 ms period: Timer1 was started first, so it fires first.
    static void tick(frmAbout &about, int *timer2Ticks = nullptr)
    {
        if (timerActive(about, "Timer1"))
            about.Timer1_Timer();
        if (timerActive(about, "Timer2")) {
            about.Timer2_Timer();
            if (timer2Ticks)
                ++*timer2Ticks;
        }
    }

private slots:
    void init()
    {
        m_recorder = Recorder{};
        m_uncaught.clear();
        Module1::setBackend(&m_recorder);
        setUncaughtErrorHandler([this](const QString &description) { m_uncaught.append(description); });
    }

    void cleanup()
    {
        QCOMPARE(m_uncaught, QStringList());
        Module1::setBackend(nullptr);
        setUncaughtErrorHandler({});
    }

    void loadWritesVersionAndLayersWithoutAlpha()
    {
        frmAbout about;
        auto *label = child<QLabel>(about, "Label1");
        const QPoint designTopLeft = label->pos();
        about.Form_Load();
        QCOMPARE(label->text(), u"版本号: 1.0 build 13"_s);
        // Grows to the right from where the placeholder stood.
        QCOMPARE(label->pos(), designTopLeft);
        QCOMPARE(label->mapTo(&about, QPoint(0, 0)), QPoint(137, 191));
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
        QCOMPARE(m_recorder.layered, 1);
        QVERIFY(m_recorder.alphas.isEmpty());
        QVERIFY(timerActive(about, "Timer1"));
        QVERIFY(!timerActive(about, "Timer2"));
    }

    void windowDesign()
    {
        frmAbout about;
        QCOMPARE(about.size(), QSize(328, 213));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY(about.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(about.windowTitle(), u"关于"_s);
        QVERIFY(!about.windowIcon().isNull());
        QCOMPARE(about.parentWidget(), nullptr);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY((about.geometry().center() - screen.center()).manhattanLength() <= 2);
        QCOMPARE(child<QTimer>(about, "Timer1")->interval(), 20);
        QCOMPARE(child<QTimer>(about, "Timer2")->interval(), 20);

        auto *image = child<QLabel>(about, "Image1");
        QCOMPARE(image->pixmap().size(), QSize(120, 180));
        QCOMPARE(QRect(image->mapTo(&about, QPoint(0, 0)), image->size()), QRect(1, 1, 120, 180));

        // The frame lies beneath the document and the button; only the
        // strips at the right and bottom edges are bare form.
        auto *document = child<QTextBrowser>(about, "RichTextBox1");
        QWidget *overDocument = about.childAt(200, 100);
        QVERIFY(overDocument == document || document->isAncestorOf(overDocument));
        QCOMPARE(about.childAt(290, 195), child<QPushButton>(about, "Command1"));
        QCOMPARE(about.childAt(60, 90), image);
        QCOMPARE(about.childAt(130, 100), child<QFrame>(about, "Frame1"));
        QCOMPARE(about.childAt(327, 100), nullptr);
        QCOMPARE(about.childAt(100, 211), nullptr);
    }

    void documentShowsFromTheTopAndScrolls()
    {
        frmAbout about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        auto *document = child<QTextBrowser>(about, "RichTextBox1");
        QVERIFY(document->isReadOnly());
        QCOMPARE(document->document()->blockCount(), 78);
        QCOMPARE(document->verticalScrollBar()->value(), 0);
        QVERIFY(document->verticalScrollBar()->maximum() > document->viewport()->height() * 3);
        // First in the tab order, then the button.
        QCOMPARE(QApplication::focusWidget(), document);
        QTest::keyClick(document, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), child<QPushButton>(about, "Command1"));
        about.done(0);
    }

    void fadeIn()
    {
        frmAbout about;
        about.Form_Load();
        about.Timer1_Timer();
        QCOMPARE(m_recorder.alphas, QList<int>{5});
        for (int i = 1; i < fadeTicks; ++i)
            about.Timer1_Timer();
        QCOMPARE(m_recorder.alphas, rising(5, fadeTicks));
        QVERIFY(!timerActive(about, "Timer1"));
        QVERIFY(!m_recorder.alphaBeforeLayered);
    }

    void closeWhenShownFadesOutAndUnloads()
    {
        frmAbout about;
        QSignalSpy finished(&about, &QDialog::finished);
        about.Form_Load();
        for (int i = 0; i < fadeTicks; ++i)
            about.Timer1_Timer();
        m_recorder.alphas.clear();
        about.Command1_Click();
        QVERIFY(timerActive(about, "Timer2"));
        for (int i = 0; i < fadeTicks - 1; ++i)
            about.Timer2_Timer();
        QCOMPARE(finished.count(), 0);
        about.Timer2_Timer();
        QCOMPARE(finished.count(), 1);
        QList<int> expected = rising(0, fadeTicks);
        std::reverse(expected.begin(), expected.end());
        QCOMPARE(m_recorder.alphas, expected);
        QVERIFY(!timerActive(about, "Timer2"));
    }

    void closeDuringFadeIn_data()
    {
        QTest::addColumn<int>("ticksBeforeClose");
        QTest::newRow("before the first tick") << 0;
        QTest::newRow("after one tick") << 1;
        QTest::newRow("half way") << 25;
        QTest::newRow("one tick short") << 50;
    }

    void closeDuringFadeIn()
    {
        QFETCH(int, ticksBeforeClose);
        frmAbout about;
        QSignalSpy finished(&about, &QDialog::finished);
        about.Form_Load();
        for (int i = 0; i < ticksBeforeClose; ++i)
            tick(about);
        m_recorder.alphas.clear();
        about.Command1_Click();

        int timer2Ticks = 0;
        int timer1StoppedAt = -1;
        while (finished.isEmpty() && timer2Ticks < 2 * fadeTicks) {
            tick(about, &timer2Ticks);
            if (timer1StoppedAt < 0 && !timerActive(about, "Timer1"))
                timer1StoppedAt = timer2Ticks;
        }
        QCOMPARE(finished.count(), 1);
        QCOMPARE(timer2Ticks, fadeTicks);
        QCOMPARE(timer1StoppedAt, fadeTicks - ticksBeforeClose);

        // Rising and falling levels alternate until the fade-in is done.
        const int remaining = fadeTicks - ticksBeforeClose;
        QList<int> expected;
        for (int i = 0; i < fadeTicks; ++i) {
            if (i < remaining)
                expected.append(5 * (ticksBeforeClose + i + 1));
            expected.append(250 - 5 * i);
        }
        QCOMPARE(m_recorder.alphas, expected);
        QVERIFY(!timerActive(about, "Timer1"));
        QVERIFY(!timerActive(about, "Timer2"));
    }

    void secondCloseKeepsTheFadeOutsPace()
    {
        frmAbout about;
        QSignalSpy finished(&about, &QDialog::finished);
        about.Form_Load();
        for (int i = 0; i < fadeTicks; ++i)
            about.Timer1_Timer();
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        about.Command1_Click();
        auto *timer2 = child<QTimer>(about, "Timer2");
        QTest::qWait(70);
        const int before = timer2->remainingTime();
        about.Command1_Click();
        // A restart would have put the full interval back on the clock.
        QVERIFY2(timer2->remainingTime() <= before, qPrintable(QString::number(timer2->remainingTime())));
        m_recorder.alphas.clear();
        for (int i = 0; i < fadeTicks && finished.isEmpty(); ++i)
            about.Timer2_Timer();
        QCOMPARE(finished.count(), 1);
        QVERIFY(m_recorder.alphas.size() < fadeTicks);
        QCOMPARE(m_recorder.alphas.last(), 0);
    }

    void reopeningFadesInFromTheStart()
    {
        for (int opening = 0; opening < 2; ++opening) {
            m_recorder.alphas.clear();
            frmAbout about;
            about.Form_Load();
            about.Timer1_Timer();
            QCOMPARE(m_recorder.alphas, QList<int>{5});
        }
    }

    void keysPressClose_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("clicks");
        const QString document = u"RichTextBox1"_s;
        const QString close = u"Command1"_s;
        const int none = int(Qt::NoModifier);
        QTest::newRow("Esc") << document << int(Qt::Key_Escape) << none << 1;
        QTest::newRow("Alt+C") << document << int(Qt::Key_C) << int(Qt::AltModifier) << 1;
        QTest::newRow("Enter on Close") << close << int(Qt::Key_Return) << none << 1;
        QTest::newRow("keypad Enter on Close") << close << int(Qt::Key_Enter) << none << 1;
        QTest::newRow("Space on Close") << close << int(Qt::Key_Space) << none << 1;
        // The window has no Default button.
        QTest::newRow("Enter on the document") << document << int(Qt::Key_Return) << none << 0;
    }

    void keysPressClose()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, clicks);
        frmAbout about;
        about.Form_Load();
        about.show();
        QVERIFY(QTest::qWaitForWindowActive(&about));
        about.findChild<QWidget *>(focus)->setFocus();
        QSignalSpy clicked(child<QPushButton>(about, "Command1"), &QPushButton::clicked);
        // Through the window system, where shortcuts are looked up.
        QTest::keyClick(about.windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(clicked.count(), clicks);
        QCOMPARE(timerActive(about, "Timer2"), clicks > 0);
        QVERIFY(about.isVisible());
        about.done(0);
    }

    void systemCloseUnloadsAtOnce()
    {
        frmAbout about;
        about.Form_Load();
        QTimer::singleShot(0, &about, [&about] { about.close(); });
        about.exec();
        QVERIFY(!about.isVisible());
        QVERIFY(!timerActive(about, "Timer2"));
        QVERIFY(m_recorder.alphas.size() < 3);
    }

    void dragStartsOnlyFromBackdropPictureAndForm_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("moves");

        const int left = int(Qt::LeftButton);
        const int none = int(Qt::NoModifier);
        QTest::newRow("frame, left") << u"Frame1"_s << left << none << 1;
        QTest::newRow("picture, left") << u"Image1"_s << left << none << 1;
        QTest::newRow("bare form, left") << u"frmAbout"_s << left << none << 1;
        QTest::newRow("picture, left with Shift") << u"Image1"_s << left << int(Qt::ShiftModifier) << 1;
        QTest::newRow("frame, no button") << u"Frame1"_s << int(Qt::NoButton) << none << 0;
        QTest::newRow("frame, right") << u"Frame1"_s << int(Qt::RightButton) << none << 0;
        QTest::newRow("frame, middle") << u"Frame1"_s << int(Qt::MiddleButton) << none << 0;
        QTest::newRow("picture, left and right") << u"Image1"_s << int(Qt::LeftButton | Qt::RightButton) << none << 0;
        QTest::newRow("bare form, left and middle") << u"frmAbout"_s << int(Qt::LeftButton | Qt::MiddleButton) << none << 0;
        QTest::newRow("document, left") << u"RichTextBox1"_s << left << none << 0;
        QTest::newRow("version line, left") << u"Label1"_s << left << none << 0;
        QTest::newRow("Close button, left") << u"Command1"_s << left << none << 0;
    }

    void dragStartsOnlyFromBackdropPictureAndForm()
    {
        QFETCH(QString, target);
        QFETCH(int, buttons);
        QFETCH(int, modifiers);
        QFETCH(int, moves);
        frmAbout about;
        about.Form_Load();
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));

        QWidget *widget = &about;
        QPoint at(326, 100); // the bare strip at the right edge
        if (target != u"frmAbout"_s) {
            widget = about.findChild<QWidget *>(target);
            QVERIFY(widget);
            if (auto *browser = qobject_cast<QTextBrowser *>(widget))
                widget = browser->viewport();
            at = widget->rect().center();
        }
        QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton,
                         Qt::MouseButtons(buttons), Qt::KeyboardModifiers(modifiers));
        QApplication::sendEvent(widget, &move);
        QCOMPARE(m_recorder.moves, moves);
        about.done(0);
    }

    void closeFromTheEventLoopUnloadsAfterTheFadeOut()
    {
        frmAbout about;
        about.Form_Load();
        auto *close = child<QPushButton>(about, "Command1");
        auto *timer1 = child<QTimer>(about, "Timer1");
        connect(timer1, &QTimer::timeout, close, [&] {
            if (!timer1->isActive())
                close->click();
        }, Qt::QueuedConnection);
        QElapsedTimer clock;
        clock.start();
        about.exec();
        QVERIFY(!about.isVisible());
        QCOMPARE(m_recorder.alphas.size(), 2 * fadeTicks);
        QCOMPARE(m_recorder.alphas.at(fadeTicks - 1), 255);
        QCOMPARE(m_recorder.alphas.at(fadeTicks), 250);
        QCOMPARE(m_recorder.alphas.last(), 0);
        QVERIFY(clock.elapsed() >= 2 * fadeTicks * 20 - 50);
    }

    void aboutCommandOfTheMainWindowReturnsToIt()
    {
        frmMain window(QCoreApplication::applicationDirPath());
        window.Form_Load();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto *aboutButton = window.findChild<QPushButton *>(u"Command2"_s);
        QSignalSpy aboutClicks(aboutButton, &QPushButton::clicked);
        bool aboutSeen = false;
        int clicksWhileShown = -1;
        QTimer driver;
        driver.setInterval(10);
        const QPoint aboutButtonInWindow = aboutButton->mapTo(&window, aboutButton->rect().center());
        connect(&driver, &QTimer::timeout, &window, [&] {
            auto *about = qobject_cast<frmAbout *>(QApplication::activeModalWidget());
            if (!about)
                return;
            if (!aboutSeen) {
                aboutSeen = true;
                QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, aboutButtonInWindow);
                clicksWhileShown = int(aboutClicks.count());
            }
            about->findChild<QPushButton *>(u"Command1"_s)->click();
        });
        driver.start();
        QTest::mouseClick(aboutButton, Qt::LeftButton);
        driver.stop();

        QVERIFY(aboutSeen);
        // The main window took no input while the About window was shown;
        // the one click is the one that opened it.
        QCOMPARE(clicksWhileShown, 0);
        QCOMPARE(aboutClicks.count(), 1);
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(window.isVisible());
        QVERIFY(window.isEnabled());
        // It faded out to nothing before it unloaded.
        QCOMPARE(m_recorder.alphas.last(), 0);
    }
};

QTEST_MAIN(FrmAboutTest)
#include "tst_frmabout.moc"
