// SPDX-License-Identifier: MIT
#pragma once

#include "listoutput.h"
#include "namelistmodel.h"

class StrokeRules;

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

    // Reads the file at PATH in the chosen encoding (or the one detected)
    // as the new list; on any fault says so and keeps the list shown.
    void openFile(const QString &path);
    // Writes the list as CSV to PATH; on a fault says so, the old file intact.
    void saveTo(const QString &path, ListOutput::CsvEncoding encoding);

public slots:
    void paste();
    void copy();
    void open();
    void saveAs();
    void sortByStrokes();
    void restoreInputOrder();

protected:
    bool event(QEvent *event) override;

private:
    void readCounts();
    void runCommand(const std::function<void()> &command);
    void readFile(const QString &path);
    void writeCsv(const QString &path, ListOutput::CsvEncoding encoding);
    void take(QList<QStringList> records, const QString &source);
    void fillNameColumns();
    void nameColumnChosen(int index);
    void headerSwitched(bool firstIsHeader);
    void encodingChosen();
    QString loneSurrogateText(const ListOutput::LoneSurrogate &lone, const QList<int> &rows) const;
    void showState();
    QString chosenEncoding() const;

    std::unique_ptr<Ui::ListWindow> ui;
    StrokeRules *m_rules = nullptr;
    bool m_countsScheduled = false;
    std::unique_ptr<NameListModel> m_model;
    QString m_openedFile;
    QString m_source;
    bool m_commandRunning = false;
};
