// SPDX-License-Identifier: MIT
#include "appinfo.h"
#include "module1.h"
#include "msgbox.h"
#include "msgboxanswerer.h"
#include "runtime.h"
#include "runtimeerror.h"

#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>

using namespace Qt::StringLiterals;

class TestShell : public QObject
{
    Q_OBJECT
private slots:
    void identity();
    void messageBoxTitle_data();
    void messageBoxTitle();
    void applicationIcon();
    void layeredAlpha_data();
    void layeredAlpha();
    void backendSeam();
    // Ends every event loop, so it runs last.
    void uncaughtErrorIsReportedAndEnds();
};

void TestShell::identity()
{
    QCOMPARE(App::title, "Tarvelo"_L1);
    QCOMPARE(App::revision, 13);
    QCOMPARE(App::versionText, "1.00.0013"_L1);
    QCOMPARE(QString(App::versionText).section(u'.', 2).toInt(), App::revision);
}

void TestShell::messageBoxTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("style");
    QTest::newRow("no title") << QString() << u"Tarvelo"_s << int(vbOKOnly);
    QTest::newRow("no title, critical") << QString() << u"Tarvelo"_s << int(vbCritical);
    QTest::newRow("own title") << u"出错"_s << u"出错"_s << int(vbCritical);
}

void TestShell::messageBoxTitle()
{
    QFETCH(QString, title);
    QFETCH(QString, shown);
    QFETCH(int, style);

    QString seenTitle;
    int buttonCount = 0;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seenTitle = box->windowTitle();
        buttonCount = int(box->buttons().size());
        box->close();
    });
    QCOMPARE(MsgBox(u"消息"_s, style, title), int(vbOK));
    QCOMPARE(seenTitle, shown);
    QCOMPARE(buttonCount, 1);
}

void TestShell::applicationIcon()
{
    const QIcon icon(u":/icons/tarvelo.ico"_s);
    QCOMPARE(icon.availableSizes(), (QList<QSize>{QSize(32, 32), QSize(16, 16)}));
}

void TestShell::layeredAlpha_data()
{
    QTest::addColumn<int>("alpha");
    QTest::addColumn<qreal>("opacity");
    QTest::newRow("invisible") << 0 << 0.0;
    QTest::newRow("first step") << 1 << 1 / 255.0;
    QTest::newRow("half") << 128 << 128 / 255.0;
    QTest::newRow("opaque") << 255 << 1.0;
}

void TestShell::layeredAlpha()
{
    QFETCH(int, alpha);
    QFETCH(qreal, opacity);
    QWidget window;
    Module1::makeLayered(&window);
    QCOMPARE(window.windowOpacity(), 0.0);
    Module1::setLayeredAlpha(&window, quint8(alpha));
    // Qt keeps opacity in 8 bits too, so every alpha survives exactly.
    QCOMPARE(qRound(window.windowOpacity() * 255), alpha);
    QVERIFY(qAbs(window.windowOpacity() - opacity) < 1.0 / 512);
}

void TestShell::backendSeam()
{
    class Recorder final : public Module1::Backend
    {
    public:
        QStringList calls;
        void makeLayered(QWidget *) override { calls << u"layered"_s; }
        void setLayeredAlpha(QWidget *, quint8 alpha) override
        {
            calls << u"alpha %1"_s.arg(alpha);
        }
        void beginWindowMove(QWidget *) override { calls << u"move"_s; }
    };

    QWidget window;
    Recorder recorder;
    Module1::setBackend(&recorder);
    Module1::makeLayered(&window);
    Module1::setLayeredAlpha(&window, 40);
    Module1::beginWindowMove(&window);
    Module1::setBackend(nullptr);
    QCOMPARE(recorder.calls, (QStringList{u"layered"_s, u"alpha 40"_s, u"move"_s}));
    QCOMPARE(window.windowOpacity(), 1.0);

    // The real one again, and a window not yet shown has no handle to move.
    Module1::setLayeredAlpha(&window, 0);
    QCOMPARE(window.windowOpacity(), 0.0);
    Module1::beginWindowMove(&window);
    QCOMPARE(recorder.calls.size(), 3);
}

void TestShell::uncaughtErrorIsReportedAndEnds()
{
    const QString description = u"列表中没有第 3 行。"_s;
    QTimer::singleShot(0, [&] { runHandler([&] { throw RuntimeError(description); }); });
    MsgBoxAnswerer answerer;
    QEventLoop loop;
    const int status = loop.exec();

    QCOMPARE(status, uncaughtErrorExitCode);
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes.first().title, u"Tarvelo"_s);
    QCOMPARE(answerer.boxes.first().text, description);
    QCOMPARE(answerer.boxes.first().icon, QMessageBox::Critical);
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
