// SPDX-License-Identifier: MIT
#include "appinfo.h"
#include "msgbox.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestShell : public QObject
{
    Q_OBJECT
private slots:
    void identity();
    void messageBoxTitle_data();
    void messageBoxTitle();
    void applicationIcon();
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

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
