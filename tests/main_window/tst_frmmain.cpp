// SPDX-License-Identifier: MIT
#include "frmmain.h"
#include "listview.h"
#include "msgboxanswerer.h"
#include "runtime.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString rejectionText = u"您输入的不是汉字,或汉字之间有空格\r\n请重新输入"_s;
const QString lookupErrorTitle = u"出错"_s;
const QString appTitle = u"Tarvelo"_s;
const QString aboutTitle = u"关于"_s;

bool isAbout(const QWidget *window)
{
    return window && window->objectName() == u"frmAbout"_s;
}

// A row as "text=count", with a trailing " [s]" for the total row.
QStringList rowsOf(ListView *list)
{
    QTreeWidgetItem *totalRow = nullptr;
    try {
        totalRow = list->item(u"s"_s);
    } catch (const RuntimeError &) {
    }
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem *row = list->topLevelItem(i);
        rows.append(row->text(0) + u'=' + row->text(1) + (row == totalRow ? u" [s]"_s : QString()));
    }
    return rows;
}

} // namespace

class FrmMainTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_window = std::make_unique<frmMain>();
        m_window->Form_Load();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_text = m_window->findChild<QLineEdit *>(u"Text1"_s);
        m_list = m_window->findChild<ListView *>(u"ListView1"_s);
        QVERIFY(m_text && m_list);
    }

    void cleanup() { m_window.reset(); }

    void startsWithEmptyListAndHeaders()
    {
        QCOMPARE(m_list->topLevelItemCount(), 0);
        QCOMPARE(m_list->headerItem()->text(0), u"汉字"_s);
        QCOMPARE(m_list->headerItem()->text(1), u"笔画数"_s);
        QCOMPARE(m_list->header()->sectionSize(0), 89);
        QVERIFY(m_list->isHeaderHidden() == false);
    }

    void designGeometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Frame1") << u"Frame1"_s << QRect(4, 0, 316, 310) << QString();
        QTest::newRow("Text1") << u"Text1"_s << QRect(61, 53, 154, 20) << QString();
        QTest::newRow("Command1") << u"Command1"_s << QRect(216, 53, 33, 20) << u"&OK"_s;
        QTest::newRow("ListView1") << u"ListView1"_s << QRect(62, 81, 185, 179) << QString();
        QTest::newRow("Command3") << u"Command3"_s << QRect(61, 263, 43, 18) << u"&Close"_s;
        QTest::newRow("Command2") << u"Command2"_s << QRect(205, 264, 43, 18) << u"&About"_s;
    }

    void designGeometry()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        auto *widget = m_window->findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), geometry);
        if (auto *button = qobject_cast<QPushButton *>(widget))
            QCOMPARE(button->text(), caption);
        QCOMPARE(m_window->size(), QSize(329, 318));
        QCOMPARE(m_window->windowTitle(), appTitle);
        QVERIFY(!(m_window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
    }

    void labelsGrowRightFromTheirDesignPlace_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPoint>("topLeft");
        QTest::addColumn<QString>("caption");
        QTest::newRow("prompt") << u"Label1"_s << QPoint(62, 30) << u"请输入汉字(不超过十个):"_s;
        QTest::newRow("signature") << u"Label2"_s << QPoint(265, 293) << u"QNRT415"_s;
    }

    void labelsGrowRightFromTheirDesignPlace()
    {
        QFETCH(QString, name);
        QFETCH(QPoint, topLeft);
        QFETCH(QString, caption);
        auto *label = m_window->findChild<QLabel *>(name);
        QVERIFY(label);
        QCOMPARE(label->pos(), topLeft);
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->size(), label->sizeHint());
    }

    void command_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("boxTitles");

        const QStringList previous{u"龘=48"_s};
        const QStringList rejected{appTitle};
        QTest::newRow("empty") << QString() << QStringList() << QStringList();
        QTest::newRow("one space") << u" "_s << QStringList() << QStringList();
        QTest::newRow("two spaces") << u"  "_s << QStringList{u"=0 [s]"_s} << QStringList();
        QTest::newRow("one character") << u"字"_s << QStringList{u"字=6"_s} << QStringList();
        QTest::newRow("space before") << u" 字"_s << QStringList{u"字=6"_s, u"字=6 [s]"_s} << QStringList();
        QTest::newRow("space after") << u"字 "_s << QStringList{u"字=6"_s, u"字=6 [s]"_s} << QStringList();
        QTest::newRow("5 + 8") << u"汉范"_s << QStringList{u"汉=5"_s, u"范=8"_s, u"汉范=13 [s]"_s}
                               << QStringList();
        QTest::newRow("space between") << u"汉 字"_s << previous << rejected;
        QTest::newRow("ideographic space between") << u"汉\u3000字"_s << previous << rejected;
        QTest::newRow("tab between") << u"汉\t字"_s << previous << rejected;
        QTest::newRow("ideographic spaces around") << u"\u3000字\u00a0"_s
                                                   << QStringList{u"字=6"_s, u"字=6 [s]"_s} << QStringList();
        QTest::newRow("fifth rejected") << u"汉字汉字a汉"_s << previous << rejected;
        for (const QString &bad : {u"a"_s, u"z"_s, u"A"_s, u"Z"_s, u"l"_s, u"'"_s, u","_s, u"\\"_s,
                                   u"`"_s, u"~"_s, u"="_s, u"{"_s})
            QTest::newRow(qPrintable(u"mask "_s + bad)) << (u"汉"_s + bad) << previous << rejected;
        for (const QString &looked : {u"1"_s, u":"_s, u"\""_s, u"|"_s, u"Ａ"_s, u"ｚ"_s, u"，"_s, u"："_s})
            QTest::newRow(qPrintable(u"looked up "_s + looked))
                    << looked << QStringList{looked + u"=0"_s} << QStringList{lookupErrorTitle};
        QTest::newRow("two failing") << u"1汉2"_s
                                     << QStringList{u"1=0"_s, u"汉=5"_s, u"2=0"_s, u"1汉2=5 [s]"_s}
                                     << QStringList{lookupErrorTitle, lookupErrorTitle};
        QTest::newRow("more than ten") << u"一二三四五六七八九十一"_s
                                       << QStringList{u"一=1"_s, u"二=2"_s, u"三=3"_s, u"四=5"_s, u"五=4"_s,
                                                      u"六=4"_s, u"七=2"_s, u"八=2"_s, u"九=2"_s, u"十=2"_s,
                                                      u"一=1"_s, u"一二三四五六七八九十一=28 [s]"_s}
                                       << QStringList();
        QTest::newRow("supplementary plane") << u"𠮷"_s << QStringList{u"𠮷=6"_s} << QStringList();
        QTest::newRow("supplementary pair") << u"𠮷𪚥"_s
                                            << QStringList{u"𠮷=6"_s, u"𪚥=64"_s, u"𠮷𪚥=70 [s]"_s}
                                            << QStringList();
        QTest::newRow("variation selector") << u"字\uFE00"_s << QStringList{u"字\uFE00=6"_s} << QStringList();
    }

    void command()
    {
        QFETCH(QString, input);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, boxTitles);

        m_text->setText(u"龘"_s);
        m_window->Command1_Click();
        QCOMPARE(rowsOf(m_list), QStringList{u"龘=48"_s});

        MsgBoxAnswerer answerer;
        m_text->setText(input);
        m_window->Command1_Click();
        QCOMPARE(rowsOf(m_list), rows);
        QCOMPARE(answerer.titles(), boxTitles);
        if (boxTitles == QStringList{appTitle}) {
            QCOMPARE(answerer.boxes.first().text, rejectionText);
            QCOMPARE(answerer.boxes.first().icon, QMessageBox::Critical);
            QCOMPARE(m_window->focusWidget(), m_text);
        }
        for (const MsgBoxAnswerer::Box &box : answerer.boxes)
            QCOMPARE(box.icon, QMessageBox::Critical);
    }

    void okTwiceReplacesTheRows()
    {
        m_text->setText(u"汉字"_s);
        m_window->Command1_Click();
        m_window->Command1_Click();
        QCOMPARE(rowsOf(m_list), (QStringList{u"汉=5"_s, u"字=6"_s, u"汉字=11 [s]"_s}));
    }

    void totalPastSixteenBits()
    {
        constexpr int copies = 3300;
        m_text->setText(u"龘"_s.repeated(copies));
        m_window->Command1_Click();
        QCOMPARE(m_list->topLevelItemCount(), copies + 1);
        QCOMPARE(m_list->item(u"s"_s)->text(1), QString::number(48 * copies));
    }

    void focusStartsInListAndTabsInDesignOrder()
    {
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QCOMPARE(QApplication::focusWidget(), m_list);
        const QStringList order{u"Command1"_s, u"Text1"_s, u"Command3"_s, u"Command2"_s, u"ListView1"_s};
        for (const QString &name : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), name);
        }
    }

    void enterInTheInputBoxPressesOk()
    {
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_text->setFocus();
        QTest::sendKeyEvent(QTest::Click, m_text, Qt::Key_unknown, u"汉字"_s, {});
        QCOMPARE(m_text->text(), u"汉字"_s);
        QTest::keyClick(m_text, Qt::Key_Return);
        QCOMPARE(rowsOf(m_list), (QStringList{u"汉=5"_s, u"字=6"_s, u"汉字=11 [s]"_s}));
    }

    void enterOnAnotherButtonPressesThatButton()
    {
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        auto *close = m_window->findChild<QPushButton *>(u"Command3"_s);
        QSignalSpy okClicked(m_window->findChild<QPushButton *>(u"Command1"_s), &QPushButton::clicked);
        QSignalSpy closeClicked(close, &QPushButton::clicked);
        close->setFocus();
        QTest::keyClick(close, Qt::Key_Return);
        QCOMPARE(okClicked.count(), 0);
        QCOMPARE(closeClicked.count(), 1);
    }

    void accessKeysPressTheirButtons_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("button");
        QTest::newRow("Alt+O") << int(Qt::Key_O) << u"Command1"_s;
        QTest::newRow("Alt+C") << int(Qt::Key_C) << u"Command3"_s;
    }

    void accessKeysPressTheirButtons()
    {
        QFETCH(int, key);
        QFETCH(QString, button);
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        auto *target = m_window->findChild<QPushButton *>(button);
        QSignalSpy clicked(target, &QPushButton::clicked);
        QTest::keyClick(m_window.get(), Qt::Key(key), Qt::AltModifier);
        QCOMPARE(clicked.count(), 1);
    }

    void escRightAfterAltAKeepsTheMainWindow()
    {
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        // Typed so quickly that the Esc waits in the queue behind Alt+A.
        QTimer::singleShot(0, m_window.get(), [this] { QTest::keyClick(m_window.get(), Qt::Key_Escape); });
        bool aboutOpen = false;
        bool mainShown = false;
        QTimer::singleShot(0, m_window.get(), [&] {
            aboutOpen = isAbout(QApplication::activeModalWidget());
            mainShown = m_window->isVisible();
            if (aboutOpen)
                QApplication::activeModalWidget()->close();
        });
        QTest::keyClick(m_window.get(), Qt::Key_A, Qt::AltModifier);
        QVERIFY(aboutOpen);
        QVERIFY(mainShown);
        QVERIFY(m_window->isVisible());
    }

    void pressesBehindAModalWindowDoNothing_data()
    {
        QTest::addColumn<QString>("modal");
        QTest::addColumn<QString>("pressed");
        for (const QString &modal : {lookupErrorTitle, aboutTitle})
            for (const QString &pressed : {u"Command1"_s, u"Command2"_s, u"Command3"_s})
                QTest::newRow(qPrintable(modal + u" open, "_s + pressed)) << modal << pressed;
    }

    void pressesBehindAModalWindowDoNothing()
    {
        QFETCH(QString, modal);
        QFETCH(QString, pressed);
        QStringList uncaught;
        setUncaughtErrorHandler([&](const QString &description) { uncaught.append(description); });
        int secondAbouts = 0;
        // As the accessibility bus presses a button: past the modal window.
        const auto pressAgain = [&] {
            QTimer::singleShot(0, m_window.get(), [&] {
                if (isAbout(QApplication::activeModalWidget())) {
                    ++secondAbouts;
                    QApplication::activeModalWidget()->close();
                }
            });
            m_text->setText(u"a"_s);
            m_window->findChild<QPushButton *>(pressed)->click();
        };

        MsgBoxAnswerer answerer;
        QStringList rows;
        if (modal == aboutTitle) {
            QTimer::singleShot(0, m_window.get(), [&] {
                pressAgain();
                if (QWidget *about = QApplication::activeModalWidget())
                    about->close();
            });
            m_window->Command2_Click();
        } else {
            answerer.whileFirstOpen = pressAgain;
            m_text->setText(u"5一二三四五六七八九"_s);
            m_window->Command1_Click();
            rows = QStringList{u"5=0"_s, u"一=1"_s, u"二=2"_s, u"三=3"_s, u"四=5"_s, u"五=4"_s,
                               u"六=4"_s, u"七=2"_s, u"八=2"_s, u"九=2"_s, u"5一二三四五六七八九=25 [s]"_s};
        }
        setUncaughtErrorHandler({});
        QCOMPARE(uncaught, QStringList());
        QCOMPARE(secondAbouts, 0);
        QCOMPARE(answerer.titles(), modal == lookupErrorTitle ? QStringList{lookupErrorTitle} : QStringList());
        QCOMPARE(rowsOf(m_list), rows);
        QVERIFY(m_window->isVisible());
        // The database is still open.
        m_text->setText(u"汉"_s);
        m_window->Command1_Click();
        QCOMPARE(rowsOf(m_list), QStringList{u"汉=5"_s});
    }

    void escClosesThroughCloseButton()
    {
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QSignalSpy closeClicked(m_window->findChild<QPushButton *>(u"Command3"_s), &QPushButton::clicked);
        QTest::keyClick(m_text, Qt::Key_Escape);
        QCOMPARE(closeClicked.count(), 1);
        QVERIFY(!m_window->isVisible());
    }

    void closeBoxDoesNotRunTheCloseCommand()
    {
        QSignalSpy closeClicked(m_window->findChild<QPushButton *>(u"Command3"_s), &QPushButton::clicked);
        QVERIFY(m_window->close());
        QCOMPARE(closeClicked.count(), 0);
        QVERIFY(!m_window->isVisible());
    }

    void missingDatabaseStopsTheStart()
    {
        QTemporaryDir empty;
        frmMain window(empty.path());
        QVERIFY_THROWS_EXCEPTION(RuntimeError, window.Form_Load());
        QVERIFY(!QFileInfo::exists(empty.filePath(u"Refcom.dll"_s)));
    }

private:
    std::unique_ptr<frmMain> m_window;
    QLineEdit *m_text = nullptr;
    ListView *m_list = nullptr;
};

QTEST_MAIN(FrmMainTest)
#include "tst_frmmain.moc"
