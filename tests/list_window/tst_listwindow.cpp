// SPDX-License-Identifier: MIT
#include "listinput.h"
#include "listwindow.h"
#include "msgboxanswerer.h"
#include "strokedata.h"
#include "workbook.h"

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QUrl>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QStringDecoder>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <xlsxwriter.h>

using namespace Qt::StringLiterals;

namespace {

// Three columns with a header, as a spreadsheet puts them on the clipboard:
// a cell with a TAB or a line break quoted, the two 王五 rows the same name.
const QString block = u"序号\t姓名\t单位\r\n"
                      "1\t王五\t办公室\r\n"
                      "2\t张三\t\"财务\t部\"\r\n"
                      "3\t𠮷x\t人事\r\n"
                      "4\t丁一\t\"外\n联\"\r\n"
                      "5\t王五\t工会\r\n"_s;
const QString header = u"序号\t姓名\t单位\r\n"_s;
// The rows in 笔画序 of their names, the same names in the order they came.
const QString sortedRows = u"4\t丁一\t\"外\n联\"\r\n"
                           "1\t王五\t办公室\r\n"
                           "5\t王五\t工会\r\n"
                           "3\t𠮷x\t人事\r\n"
                           "2\t张三\t\"财务\t部\"\r\n"_s;

StrokeRules &rules()
{
    static StrokeRules loaded(QCoreApplication::applicationDirPath());
    return loaded;
}

} // namespace

class ListWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().remove(u"list/rule"_s);
        m_window = std::make_unique<ListWindow>();
        m_window->setRules(rules());
        m_window->show();
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_table = m_window->findChild<QTableView *>(u"table"_s);
        m_columns = m_window->findChild<QComboBox *>(u"nameColumnBox"_s);
        m_header = m_window->findChild<QCheckBox *>(u"headerBox"_s);
        QVERIFY(m_table && m_columns && m_header);
        QApplication::clipboard()->setText(block);
        QTest::keyClick(m_table, Qt::Key_V, Qt::ControlModifier);
    }

    void cleanup() { m_window.reset(); }

    void pasteGuessesNameColumnAndHeader()
    {
        QCOMPARE(m_table->model()->rowCount(), 5);
        QCOMPARE(m_columns->currentText(), u"第 2 列：姓名"_s);
        QVERIFY(m_header->isChecked());
        QCOMPARE(headers(), QStringList({u"序号"_s, u"姓名"_s, u"单位"_s, u"笔画"_s, u"各字笔画"_s, u"起笔"_s}));

        m_header->click();
        QCOMPARE(m_table->model()->rowCount(), 6);
        QCOMPARE(headers().first(), u"第 1 列"_s);
    }

    void countsReadAfterFirstPaint_data()
    {
        QTest::addColumn<bool>("painted");
        QTest::newRow("painted, then pasted") << true;
        QTest::newRow("pasted before any paint") << false;
    }

    void countsReadAfterFirstPaint()
    {
        QFETCH(bool, painted);
        StrokeRules later(QCoreApplication::applicationDirPath(), StrokeRules::Counts::ReadLater);
        ListWindow window;
        window.setRules(later);
        if (painted) {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QTRY_VERIFY(later.hasCounts());
        }
        window.paste();
        const QAbstractItemModel *model = window.findChild<QTableView *>(u"table"_s)->model();
        QVERIFY(model && model->rowCount() == 5);
    }

    void countsAndMarks_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<QString>("toolTip");
        QTest::newRow("first stroke 横") << 0 << QStringList({u"8"_s, u"4+4"_s, u"一"_s}) << QString();
        QTest::newRow("first stroke 折") << 1 << QStringList({u"10"_s, u"7+3"_s, u"乛"_s}) << QString();
        QTest::newRow("without a count")
                << 2 << QStringList({u"6+?"_s, u"6+?"_s, u"一"_s}) << u"没有笔画数的字：“x”（U+0078）"_s;
    }

    void countsAndMarks()
    {
        QFETCH(int, row);
        QFETCH(QStringList, added);
        QFETCH(QString, toolTip);
        const QAbstractItemModel *model = m_table->model();
        constexpr int firstAdded = 3;
        QStringList shown;
        for (int column = firstAdded; column < model->columnCount(); ++column)
            shown.append(model->index(row, column).data().toString());
        QCOMPARE(shown, added);
        QCOMPARE(model->index(row, 1).data(Qt::ToolTipRole).toString(), toolTip);
        QCOMPARE(model->index(row, 0).data(Qt::BackgroundRole).isValid(), !toolTip.isEmpty());
    }

    void nameColumnChoice()
    {
        m_columns->setCurrentIndex(2);
        emit m_columns->activated(2);
        // 办公室; a TAB inside a name is no character.
        QCOMPARE(m_table->model()->index(0, 3).data().toString(), u"17"_s);
        QCOMPARE(m_table->model()->index(1, 4).data().toString(), u"7+5+10"_s);
    }

    void sortUndoAndCopy()
    {
        QTest::keyClick(m_window.get(), Qt::Key_S, Qt::AltModifier);
        QTest::keyClick(m_table, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), header + sortedRows);

        m_table->selectRow(1);
        m_table->selectionModel()->select(m_table->model()->index(3, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        m_window->findChild<QPushButton *>(u"copyButton"_s)->click();
        QCOMPARE(QApplication::clipboard()->text(), u"1\t王五\t办公室\r\n3\t𠮷x\t人事\r\n"_s);

        m_table->clearSelection();
        QTest::keyClick(m_window.get(), Qt::Key_R, Qt::AltModifier);
        QTest::keyClick(m_table, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), block);
    }

    void copyTakesWholeListUnlessRowsChosen_data()
    {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("copied");
        QTest::newRow("one row clicked") << QList<int>{2} << block;
        QTest::newRow("every row, by Ctrl+A") << QList<int>{0, 1, 2, 3, 4} << block;
        QTest::newRow("two rows chosen") << QList<int>{1, 2} << u"2\t张三\t\"财务\t部\"\r\n3\t𠮷x\t人事\r\n"_s;
    }

    void copyTakesWholeListUnlessRowsChosen()
    {
        QFETCH(QList<int>, selected);
        QFETCH(QString, copied);
        QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {}, rowCentre(selected.first()));
        if (selected.size() == m_table->model()->rowCount()) {
            QTest::keyClick(m_table, Qt::Key_A, Qt::ControlModifier);
            QCOMPARE(m_table->selectionModel()->selectedRows().size(), selected.size());
        } else {
            for (const int row : selected.mid(1))
                m_table->selectionModel()->select(m_table->model()->index(row, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        auto *button = m_window->findChild<QPushButton *>(u"copyButton"_s);
        QCOMPARE(button->text().contains(u"选中"_s), copied != block);
        QTest::keyClick(m_table, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), copied);
    }

    void undoAndRedo_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("after");
        QTest::newRow("sort") << u"sort"_s << header + sortedRows;
        QTest::newRow("paste over the list") << u"paste"_s << u"李四\r\n"_s;
        QTest::newRow("header off") << u"header"_s << block;
        QTest::newRow("restore") << u"restore"_s << block;
    }

    void undoAndRedo()
    {
        QFETCH(QString, action);
        QFETCH(QString, after);
        if (action == u"restore"_s)
            m_window->sortByStrokes();
        const QString before = copied();
        if (action == u"sort"_s) {
            QTest::keyClick(m_window.get(), Qt::Key_S, Qt::AltModifier);
        } else if (action == u"paste"_s) {
            QApplication::clipboard()->setText(u"李四\r\n"_s);
            QTest::keyClick(m_table, Qt::Key_V, Qt::ControlModifier);
        } else if (action == u"header"_s) {
            m_header->click();
        } else {
            QTest::keyClick(m_window.get(), Qt::Key_R, Qt::AltModifier);
        }
        QCOMPARE(copied(), after);
        const int rows = m_table->model()->rowCount();
        QTest::keyClick(m_table, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(copied(), before);
        QCOMPARE(m_header->isChecked(), true);
        QTest::keyClick(m_table, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(copied(), after);
        QCOMPARE(m_table->model()->rowCount(), rows);
    }

    void sortChoices_data()
    {
        QTest::addColumn<int>("rule");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("headerClicks");
        QTest::addColumn<QString>("order");
        QTest::addColumn<QString>("status");
        // 丁一 2 strokes, 王 4; 乙 1, 甲 5; the blank name last throughout;
        // the two 王毅 in the order they came, whichever the direction.
        QTest::newRow("按姓氏笔画") << 0 << false << -1 << 0 << u"10 3 4 1 2"_s << u"已按姓氏笔画排序"_s;
        QTest::newRow("按姓名笔画") << 1 << false << -1 << 0 << u"10 1 3 4 2"_s << u"已按姓名笔画排序"_s;
        QTest::newRow("descending") << 0 << true << -1 << 0 << u"1 3 4 10 2"_s << u"（倒序）"_s;
        QTest::newRow("单位, then 姓名") << 0 << false << 2 << 0 << u"10 4 2 3 1"_s << u"先按“单位”分组"_s;
        QTest::newRow("序号 as numbers") << 0 << false << -1 << 1 << u"1 2 3 4 10"_s << u"已按“序号”排序"_s;
        QTest::newRow("序号, clicked twice") << 0 << false << -1 << 2 << u"10 4 3 2 1"_s << u"（倒序）"_s;
    }

    void sortChoices()
    {
        QFETCH(int, rule);
        QFETCH(bool, descending);
        QFETCH(int, group);
        QFETCH(int, headerClicks);
        QFETCH(QString, order);
        QFETCH(QString, status);
        QApplication::clipboard()->setText(u"序号\t姓名\t单位\n1\t王沪宁\t甲办\n2\t\t乙办\n3\t王毅\t甲办\n10\t丁一\t乙办\n4\t王毅\t乙办\n"_s);
        QTest::keyClick(m_table, Qt::Key_V, Qt::ControlModifier);
        choose(u"ruleBox"_s, rule);
        choose(u"groupBox"_s, group + 1);
        m_window->findChild<QCheckBox *>(u"descendingBox"_s)->setChecked(descending);
        for (int click = 0; click < headerClicks; ++click) {
            QHeaderView *header = m_table->horizontalHeader();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(0) + 2, header->height() / 2));
        }
        if (headerClicks == 0)
            QTest::keyClick(m_window.get(), Qt::Key_S, Qt::AltModifier);
        QStringList shown;
        for (int row = 0; row < m_table->model()->rowCount(); ++row)
            shown.append(m_table->model()->index(row, 0).data().toString());
        QCOMPARE(shown.join(u' '), order);
        QVERIFY2(m_window->findChild<QLabel *>(u"statusLabel"_s)->text().contains(status),
                 qPrintable(m_window->findChild<QLabel *>(u"statusLabel"_s)->text()));
        // The other rule applied to a sorted list sorts it again, and undo
        // puts back the order and the rule.
        if (headerClicks == 0 && group < 0 && !descending) {
            auto *button = m_window->findChild<QPushButton *>(u"sortButton"_s);
            QVERIFY(button->text().startsWith(rule == 0 ? u"按姓氏笔画排序"_s : u"按姓名笔画排序"_s));
            choose(u"ruleBox"_s, 1 - rule);
            QVERIFY(m_table->model()->index(1, 0).data().toString() != order.split(u' ').at(1));
            QTest::keyClick(m_table, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(m_table->model()->index(1, 0).data().toString(), order.split(u' ').at(1));
            QCOMPARE(m_window->findChild<QComboBox *>(u"ruleBox"_s)->currentIndex(), rule);
        }
    }

    void headingsByWhatTheySay_data()
    {
        QTest::addColumn<QString>("heading");
        QTest::newRow("padded") << u"姓　名"_s;
        QTest::newRow("qualified") << u"代表姓名"_s;
        QTest::newRow("with a note") << u"姓名（拼音）"_s;
        QTest::newRow("English") << u"Name"_s;
    }

    void headingsByWhatTheySay()
    {
        QFETCH(QString, heading);
        QApplication::clipboard()->setText(heading + u"\r\n王五\r\n丁一\r\n"_s);
        QTest::keyClick(m_table, Qt::Key_V, Qt::ControlModifier);
        QVERIFY(m_header->isChecked());
        QCOMPARE(m_table->model()->rowCount(), 2);
    }

    void emptyPasteKeepsList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << QString();
        QTest::newRow("line breaks and TABs") << u"\r\n\t\r\n"_s;
        QTest::newRow("binary junk") << QString::fromLatin1(QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x0E\x0F王\n"));
    }

    void emptyPasteKeepsList()
    {
        QFETCH(QString, text);
        QApplication::clipboard()->setText(text);
        QTest::keyClick(m_table, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(m_table->model()->rowCount(), 5);
        QVERIFY(m_window->findChild<QLabel *>(u"statusLabel"_s)->text().contains(u"名单没有改动"_s));
    }

    void countsAndNumbersOut()
    {
        m_window->sortByStrokes();
        auto *renumber = m_window->findChild<QCheckBox *>(u"renumberBox"_s);
        auto *counts = m_window->findChild<QCheckBox *>(u"countsBox"_s);
        QVERIFY(renumber->isEnabled());
        renumber->click();
        counts->click();
        const QStringList lines = copied().split(u"\r\n"_s);
        counts->click();
        QCOMPARE(lines.at(0), u"序号\t姓名\t单位\t笔画\t各字笔画\t起笔"_s);
        QCOMPARE(lines.at(1), u"1\t丁一\t\"外\n联\"\t3\t2+1\t一"_s);
        QCOMPARE(lines.at(2).left(5), u"2\t王五\t"_s);
    }

    void dropOpensFileInItsOwnEncoding()
    {
        // A choice made for one file does not hold for the next, which
        // has a byte-order mark of its own.
        auto *encodings = m_window->findChild<QComboBox *>(u"encodingBox"_s);
        QTemporaryDir folder;
        QFile gb(folder.filePath(u"甲.txt"_s));
        QVERIFY(gb.open(QIODevice::WriteOnly) && gb.write("\xCD\xF5\xCE\xE5\r\n") > 0);
        gb.close();
        m_window->openFile(gb.fileName());
        choose(u"encodingBox"_s, encodings->findData(u"GB18030"_s));
        QFile utf8(folder.filePath(u"乙.txt"_s));
        QVERIFY(utf8.open(QIODevice::WriteOnly) && utf8.write("\xEF\xBB\xBF\xE5\xBC\xA0\xE4\xB8\x89\r\n") > 0);
        utf8.close();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(utf8.fileName())});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_window.get(), &drop);
        QTRY_COMPARE(copied(), u"张三\r\n"_s);
        QCOMPARE(encodings->currentIndex(), 0);
    }

    void unsavedChangesNotLostSilently()
    {
        int asked = 0;
        const auto cancelAny = [this, &asked] {
            QTimer::singleShot(0, this, [&asked] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    ++asked;
                    box->button(QMessageBox::Cancel)->click();
                }
            });
        };
        m_window->sortByStrokes();
        cancelAny();
        QVERIFY(!m_window->close());
        QCOMPARE(asked, 1);
        QApplication::setActiveWindow(m_window.get());
        // Pasted over, they can be had back.
        QApplication::clipboard()->setText(u"李四\r\n"_s);
        QTest::keyClick(m_table, Qt::Key_V, Qt::ControlModifier);
        QVERIFY(m_window->findChild<QLabel *>(u"statusLabel"_s)->text().contains(u"Ctrl+Z 可以找回"_s));
        cancelAny();
        QVERIFY(m_window->close());
        QCOMPARE(asked, 1);
    }

    void longCellShortened()
    {
        const QString note(500, u'字');
        QApplication::clipboard()->setText(u"王五\t"_s + note + u"\r\n"_s);
        QTest::keyClick(m_table, Qt::Key_V, Qt::ControlModifier);
        const QModelIndex cell = m_table->model()->index(0, 1);
        QCOMPARE(cell.data().toString().size(), 201);
        QVERIFY(cell.data(Qt::ToolTipRole).toString().contains(note));
        QCOMPARE(copied(), u"王五\t"_s + note + u"\r\n"_s);
        // So is a long heading, over a column of numbers.
        QApplication::clipboard()->setText(u"姓名\t"_s + note + u"\r\n王五\t1\r\n张三\t2\r\n"_s);
        QTest::keyClick(m_table, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(m_table->model()->headerData(1, Qt::Horizontal).toString().size(), 201);
    }

    void statusLineIsNotification()
    {
        // Screen readers speak a notification's text when it shows, where
        // they would keep quiet about a label they do not have the focus on.
        copied();
        auto *status = m_window->findChild<QLabel *>(u"statusLabel"_s);
        QAccessibleInterface *told = QAccessible::queryAccessibleInterface(status);
        QVERIFY(told);
        QCOMPARE(told->role(), QAccessible::Notification);
        QCOMPARE(told->text(QAccessible::Name), status->text());
        QVERIFY(status->text().startsWith(u"已复制"_s));
    }

    void openQuoteReported_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("told");
        QTest::newRow("LF") << u"王五\n\"张三\n李四\n"_s << 2 << u"第 2 行有一个引号没有配对"_s;
        QTest::newRow("CR") << u"王五\r\"张三\r李四\r"_s << 2 << u"第 2 行有一个引号没有配对"_s;
        QTest::newRow("after a closed quote over lines")
                << u"\"甲\r\n乙\"\r\n王五\r\n\"张三\r\n李四\r\n"_s << 3 << u"第 4 行有一个引号没有配对"_s;
    }

    void openQuoteReported()
    {
        QFETCH(QString, pasted);
        QFETCH(int, rows);
        QFETCH(QString, told);
        QApplication::clipboard()->setText(pasted);
        QTest::keyClick(m_table, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(m_table->model()->rowCount(), rows);
        QVERIFY(m_window->findChild<QLabel *>(u"statusLabel"_s)->text().contains(told));
    }

    void saveWithoutSuffixAndReopen()
    {
        QTemporaryDir folder;
        m_window->sortByStrokes();
        QTimer::singleShot(0, this, [&folder] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto *name = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
            QCOMPARE(name->text(), u"名单.csv"_s);
            name->setText(folder.filePath(u"排好的"_s));
            QTest::keyClick(name, Qt::Key_Return);
        });
        m_window->findChild<QPushButton *>(u"saveButton"_s)->click();
        const QString path = folder.filePath(u"排好的.csv"_s);
        QVERIFY(QFile::exists(path));
        m_window->restoreInputOrder();
        QApplication::setActiveWindow(m_window.get());
        m_window->openFile(path);
        QCOMPARE(copied(), header + sortedRows);
    }

    void workbookInAndOut()
    {
        QTemporaryDir folder;
        const QString opened = folder.filePath(u"代表名单.xlsx"_s);
        Workbook::saveXlsx(opened, ListInput::parsePasted(block), {});
        m_window->openFile(opened);
        const QString status = m_window->findChild<QLabel *>(u"statusLabel"_s)->text();
        QVERIFY2(status.contains(u"工作表“Sheet1”"), qPrintable(status));
        QCOMPARE(copied(), block);

        m_window->sortByStrokes();
        const QString saved = folder.filePath(u"代表名单-笔画序.xlsx"_s);
        m_window->saveWorkbookTo(saved);
        QCOMPARE(Workbook::readSheet(saved).records, ListInput::parsePasted(header + sortedRows));
        QVERIFY(m_window->findChild<QLabel *>(u"statusLabel"_s)->text().contains(u"其他工作表没有带过来"));

        // Over the workbook the list came from only when the user says so.
        MsgBoxAnswerer answerer;
        m_window->saveWorkbookTo(opened);
        QCOMPARE(answerer.boxes.size(), 1);
        QVERIFY(answerer.boxes.first().text.contains(u"就是打开的工作簿"));
        QCOMPARE(Workbook::readSheet(opened).records, ListInput::parsePasted(block));
    }

    void odsInAndOut()
    {
        QTemporaryDir folder;
        const QString opened = folder.filePath(u"获奖名单.ods"_s);
        Workbook::SaveOptions options;
        options.sheetName = u"获奖"_s;
        Workbook::saveOds(opened, ListInput::parsePasted(block), options);
        m_window->openFile(opened);
        QCOMPARE(copied(), block);
        m_window->sortByStrokes();
        QTimer::singleShot(0, this, [] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QVERIFY(dialog->selectedNameFilter().contains(u"*.ods"));
            auto *name = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
            QCOMPARE(name->text(), u"获奖名单-笔画序.ods"_s);
            QTest::keyClick(name, Qt::Key_Return);
        });
        m_window->findChild<QPushButton *>(u"saveButton"_s)->click();
        const QString saved = folder.filePath(u"获奖名单-笔画序.ods"_s);
        QCOMPARE(Workbook::readSheet(saved).records, ListInput::parsePasted(header + sortedRows));
        QCOMPARE(Workbook::sheetNames(saved), QStringList(u"获奖"_s));
    }

    void workbookSheetChoiceAndHiddenRows()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(u"两表.xlsx"_s);
        lxw_workbook *book = workbook_new(QFile::encodeName(path).constData());
        worksheet_write_string(workbook_add_worksheet(book, "代表"), 0, 0, "王五", nullptr);
        lxw_worksheet *second = workbook_add_worksheet(book, "获奖");
        worksheet_write_string(second, 0, 0, "张三", nullptr);
        worksheet_write_string(second, 1, 0, "李四", nullptr);
        lxw_row_col_options hidden = {};
        hidden.hidden = LXW_TRUE;
        worksheet_set_row_opt(second, 1, LXW_DEF_ROW_HEIGHT, nullptr, &hidden);
        QCOMPARE(workbook_close(book), LXW_NO_ERROR);
        // The first time the first sheet is offered; once one is read, that one.
        const QList<std::pair<QString, QString>> choices = {{u"代表"_s, u"获奖"_s}, {u"获奖"_s, QString()}};
        for (const auto &[offered, chosen] : choices) {
            QString shown;
            QTimer::singleShot(0, this, [&shown, chosen] {
                auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                shown = dialog->textValue();
                if (!chosen.isEmpty())
                    dialog->setTextValue(chosen);
                dialog->accept();
            });
            m_window->openFile(path);
            QCOMPARE(shown, offered);
            const QString status = m_window->findChild<QLabel *>(u"statusLabel"_s)->text();
            QVERIFY2(status.contains(u"隐藏的 1 行也已读入"), qPrintable(status));
            QApplication::setActiveWindow(m_window.get());
            QCOMPARE(copied(), u"张三\r\n李四\r\n"_s);
        }
    }

    void sniffsSeparator_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("TABs in .xls, as web systems export") << u"名单.xls"_s << u"序号\t姓名\n1\t王五\n2\t张三\n"_s;
        QTest::newRow("commas, no suffix") << u"名单"_s << u"序号,姓名\n1,王五\n2,\"张,三\"\n"_s;
        QTest::newRow("semicolons in .txt") << u"名单.txt"_s << u"序号;姓名\n1;王五\n2;张三\n"_s;
        QTest::newRow("TABs, no suffix") << u"名单"_s << u"序号\t姓名\n1\t王五\n\n2\t张三\n"_s;
    }

    void sniffsSeparator()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QTemporaryDir folder;
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0);
        file.close();
        m_window->openFile(file.fileName());
        QCOMPARE(m_table->model()->columnCount(), 2 + 3);
        QCOMPARE(m_columns->currentText(), u"第 2 列：姓名"_s);
    }

    void saveAndReopen_data()
    {
        QTest::addColumn<ListOutput::CsvEncoding>("encoding");
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("UTF-8") << ListOutput::CsvEncoding::Utf8WithBom << QByteArray("\xEF\xBB\xBF\xE5\xBA\x8F");
        QTest::newRow("GB18030") << ListOutput::CsvEncoding::Gb18030 << QByteArray("\xD0\xF2");
    }

    void saveAndReopen()
    {
        QFETCH(ListOutput::CsvEncoding, encoding);
        QFETCH(QByteArray, start);
        QTemporaryDir folder;
        const QString path = folder.filePath(u"名单.csv"_s);
        m_window->sortByStrokes();
        m_window->saveTo(path, encoding);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith(start));

        m_window->restoreInputOrder();
        m_window->openFile(path);
        QTest::keyClick(m_table, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), header + sortedRows);
    }

    void faultsLeaveListAndFiles_data()
    {
        QTest::addColumn<bool>("saving");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("message");
        QTest::newRow("not GB18030 on line 3") << false << u"坏.txt"_s
                                               << QByteArray("\xD5\xC5\r\n\xCD\xF5\r\n\xFF\xFF\r\n") << QString()
                                               << u"第 3 行有不是 GB18030 编码的字节"_s;
        // Bytes a decoder lets through: half a character, a character cut off at the end.
        const QString halfOnLine2 = u"王五\r\n"_s + QChar(0xD800) + u"\r\n"_s;
        QTest::newRow("UTF-16 with half a character on line 2")
                << false << u"半.txt"_s
                << "\xFF\xFE" + QByteArray(reinterpret_cast<const char *>(halfOnLine2.utf16()), halfOnLine2.size() * 2)
                << QString() << u"第 2 行有不是 UTF-16LE 编码的字节"_s;
        QTest::newRow("UTF-8 cut off on line 2") << false << u"断.txt"_s << QByteArray("\xEF\xBB\xBF王五\r\n\xE5\xBC")
                                                 << QString() << u"第 2 行有不是 UTF-8 编码的字节"_s;
        QTest::newRow("UTF-8 broken on line 5")
                << false << u"断.txt"_s << (u"王五,张三\n"_s.repeated(4) + u"王五,"_s).toUtf8() + "\xE7\x8E\n"
                << QString() << u"第 5 行有不是 UTF-8 编码的字节"_s;
        QTest::newRow("a damaged workbook") << false << u"名单.xlsx"_s << QByteArray("PK\x03\x04\x14\x00\x06\x00")
                                            << QString() << u"已经损坏"_s;
        QTest::newRow("save into a missing folder")
                << true << u"无/名单.csv"_s << QByteArray() << QString() << u"文件没有建成"_s;
        QTest::newRow("save over a folder") << true << u"目录"_s << QByteArray() << QString() << u"不能保存"_s;
        // UTF-8 would write the half as '?', and the old file would be lost.
        QTest::newRow("half a character, in UTF-8")
                << true << u"名单.csv"_s << QByteArray("old") << block + u"6\t王"_s + QChar(0xD800) + u"\t工会\r\n"_s
                << u"第 6 行第 2 列有半个字（单独的 U+D800）"_s;
    }

    void faultsLeaveListAndFiles()
    {
        QFETCH(bool, saving);
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, pasted);
        QFETCH(QString, message);
        QTemporaryDir folder;
        const QString path = folder.filePath(name);
        QDir(folder.path()).mkdir(u"目录"_s);
        if (!bytes.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        if (!pasted.isEmpty()) {
            QApplication::clipboard()->setText(pasted);
            QTest::keyClick(m_table, Qt::Key_V, Qt::ControlModifier);
        }
        const int rows = m_table->model()->rowCount();
        MsgBoxAnswerer answerer;
        if (saving)
            m_window->saveTo(path, ListOutput::CsvEncoding::Utf8WithBom);
        else
            m_window->openFile(path);
        QCOMPARE(answerer.boxes.size(), 1);
        QVERIFY2(answerer.boxes.first().text.contains(message), qPrintable(answerer.boxes.first().text));
        QVERIFY(answerer.boxes.first().text.contains(QDir::toNativeSeparators(path)));
        QCOMPARE(m_table->model()->rowCount(), rows);
        QCOMPARE(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), bytes.isEmpty() ? 1 : 2);
        QFile file(path);
        if (!bytes.isEmpty())
            QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == bytes);
        // Nor does a copy hand on what the clipboard would turn into '?'.
        if (!pasted.isEmpty()) {
            m_window->copy();
            QCOMPARE(answerer.boxes.size(), 2);
            QVERIFY(answerer.boxes.last().text.contains(message));
            QCOMPARE(QApplication::clipboard()->text(), pasted);
        }
    }

    void detectsEncodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString names = u"王五\r\n张三\r\n"_s;
        QStringEncoder gb18030("GB18030");
        QTest::newRow("UTF-8") << names.toUtf8();
        QTest::newRow("UTF-8 with a mark") << "\xEF\xBB\xBF" + names.toUtf8();
        QTest::newRow("GB18030") << QByteArray(gb18030.encode(names));
        QTest::newRow("UTF-16 with a mark") << QByteArray("\xFF\xFE")
                        + QByteArray(reinterpret_cast<const char *>(names.utf16()), names.size() * 2);
        QTest::newRow("Big5") << QByteArray("\xA4\xFD\xA4\xAD\r\n\xB1\x69\xA4\x54\r\n");
    }

    void detectsEncodings()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir folder;
        const QString path = folder.filePath(u"名单.txt"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        m_window->openFile(path);
        QTest::keyClick(m_table, Qt::Key_C, Qt::ControlModifier);
        const QString copied = QApplication::clipboard()->text();
        QVERIFY2(copied == u"王五\r\n张三\r\n"_s || copied == u"王五\r\n張三\r\n"_s, qPrintable(copied));
        QVERIFY(!m_header->isChecked());
    }

    void chosenEncodingRereadsFile()
    {
        // UTF-16 without a mark is not what detection guesses.
        const QString names = u"王五\r\n张三\r\n"_s;
        const QByteArray bytes(reinterpret_cast<const char *>(names.utf16()), names.size() * 2);
        QTemporaryDir folder;
        const QString path = folder.filePath(u"名单.txt"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        MsgBoxAnswerer answerer;
        m_window->openFile(path);
        auto *encodings = m_window->findChild<QComboBox *>(u"encodingBox"_s);
        const int utf16 = encodings->findData(u"UTF-16LE"_s);
        QVERIFY(utf16 > 0);
        encodings->setCurrentIndex(utf16);
        emit encodings->activated(utf16);
        QCOMPARE(copied(), names);
        // One the file cannot be read in leaves the list and the box as they were.
        choose(u"encodingBox"_s, encodings->findData(u"UTF-8"_s));
        QCOMPARE(answerer.boxes.size(), 1);
        QCOMPARE(encodings->currentIndex(), utf16);
        QApplication::setActiveWindow(m_window.get());
        QCOMPARE(copied(), names);
    }

private:
    void choose(const QString &box, int index)
    {
        auto *combo = m_window->findChild<QComboBox *>(box);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    QString copied() const
    {
        QTest::keyClick(m_table, Qt::Key_C, Qt::ControlModifier);
        return QApplication::clipboard()->text();
    }

    QPoint rowCentre(int row) const { return m_table->visualRect(m_table->model()->index(row, 1)).center(); }

    QStringList headers() const
    {
        QStringList titles;
        for (int column = 0; column < m_table->model()->columnCount(); ++column)
            titles.append(m_table->model()->headerData(column, Qt::Horizontal).toString());
        return titles;
    }

    std::unique_ptr<ListWindow> m_window;
    QTableView *m_table = nullptr;
    QComboBox *m_columns = nullptr;
    QCheckBox *m_header = nullptr;
};

int main(int argc, char *argv[])
{
    // The rule the window remembers stays with the tests.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ListWindowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_listwindow.moc"
