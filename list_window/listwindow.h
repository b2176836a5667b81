// SPDX-License-Identifier: MIT
#pragma once

#include "listoutput.h"
#include "namelistmodel.h"

class StrokeRules;
class QLabel;
class QUndoStack;

#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace Ui {
class ListWindow;
}

// The list window: a name list pasted from a spreadsheet or read from a
// file, each name's strokes beside it, ordered by them on request, and
// copied or saved back in the order shown.
class ListWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ListWindow(QWidget *parent = nullptr);
    ~ListWindow() override;

    // Counts and orders names by RULES, which must outlive the window.
    // Until then the window takes no list. Counts RULES holds back are
    // read just after the window's first paint, or before the first
    // command given earlier; a failure to read them ends the application.
    void setRules(StrokeRules &rules);

    // Reads the file at PATH as the new list: a sheet of a workbook (.xlsx,
    // .ods), chosen where it has several, or text in the chosen encoding
    // (or the one detected); on any fault says so and keeps the list shown.
    void openFile(const QString &path);
    // Writes the list as CSV to PATH; on a fault says so, the old file intact.
    void saveTo(const QString &path, ListOutput::CsvEncoding encoding);
    // Writes the list as a workbook to PATH, an .ods where PATH ends so and
    // an .xlsx otherwise, asking first where PATH is the workbook the list
    // came from.
    void saveWorkbookTo(const QString &path);

public slots:
    void paste();
    // Copies the whole list with its header, or the rows the user chose.
    void copy();
    void copySelectedRows();
    void undo();
    void redo();
    void open();
    void saveAs();
    // Sorts by the names under the chosen rule, grouped and in the
    // direction chosen.
    void sortByStrokes();
    void restoreInputOrder();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // What undo puts back: the list as shown and where it came from.
    struct Snapshot
    {
        NameListModel::State model;
        QString source;
        QString openedFile;
        // The opened workbook's sheet the list came from.
        QString sheetName;
    };

    void setUpTable();
    void setUpChoices();
    void setUpShortcuts();
    void connectControls();
    void readCounts();
    void runCommand(const std::function<void()> &command);
    // Runs ACTION and, when it says it changed the list, keeps the list as
    // it was before for undo under the name WHAT.
    void change(const QString &what, const std::function<bool()> &action);
    Snapshot snapshot() const;
    void restore(const Snapshot &snapshot);
    QList<int> chosenRows() const;
    void copyRows(const QList<int> &rows);
    void readFile(const QString &path, const QString &encoding);
    void readWorkbook(const QString &path);
    void writeWorkbook(const QString &path, bool ods);
    void writeCsv(const QString &path, ListOutput::CsvEncoding encoding);
    void take(QList<QStringList> records, const QString &source);
    void fillNameColumns();
    QString shortColumnTitle(int column) const;
    void nameColumnChosen(int index);
    void headerSwitched(bool firstIsHeader);
    void ruleChosen();
    void sortOptionsChanged();
    void headerClicked(int section);
    void sortBy(const NameListModel::SortKeys &keys);
    NameListModel::SortKeys chosenSortKeys() const;
    NameRule chosenRule() const;
    static QString ruleCaption(NameRule rule);
    void encodingChosen();
    bool hasUnsavedChanges() const;
    void tellOfReplacedChanges(bool replaced);
    // LINE: where a quote that never closes opened, or 0.
    void warnOfOpenQuote(qsizetype line);
    QString loneSurrogateText(const ListOutput::LoneSurrogate &lone, const QList<int> &rows) const;
    void showState();
    QString orderText() const;
    void showSortIndicator();
    void showCopyScope();
    void showTableMenu(const QPoint &position);
    void showHelp();
    void say(const QString &text);
    QString suggestedSavePath(bool fromWorkbook) const;
    QString encodingForNextFile() const;
    NameListModel::Counts countsOut() const;

    std::unique_ptr<Ui::ListWindow> ui;
    StrokeRules *m_rules = nullptr;
    bool m_countsScheduled = false;
    std::unique_ptr<NameListModel> m_model;
    QString m_openedFile;
    // The encoding chosen for the opened file, empty when it was detected.
    QString m_fileEncoding;
    // The sheet read from the opened workbook, offered first when it is
    // opened again.
    int m_sheet = 0;
    QString m_sheetName;
    QString m_source;
    bool m_commandRunning = false;
    QUndoStack *m_undo = nullptr;
    // Stepping through the encodings with the keys re-reads the file once
    // the user stops, not at every step.
    QTimer m_encodingPause;
    QLabel *m_emptyHint = nullptr;
    bool m_encodingStepping = false;
};
