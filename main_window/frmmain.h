// SPDX-License-Identifier: MIT
#pragma once

#include "connection.h"
#include "recordset.h"
#include "runtimeerror.h"
#include "okcommand.h"

#include <QCoreApplication>
#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class frmMain;
}

// The main window: the input box, the OK command and the result list.
class frmMain : public QDialog, private OkCommand::Window
{
    Q_OBJECT
public:
    // APPLICATIONFOLDER holds the stroke database.
    explicit frmMain(const QString &applicationFolder = QCoreApplication::applicationDirPath(),
                     QWidget *parent = nullptr);
    ~frmMain() override;

    // Opens the stroke database and sets up the result list. Throws
    // RuntimeError when the database cannot be opened; the window must
    // then not be shown.
    void Form_Load();

    qint16 GetNumber(const QString &temStr) override;

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

protected:
    void reject() override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Runs COMMAND as the event handler of one of the window's buttons.
    void runCommand(const std::function<void()> &command);
    void clearRows() override;
    void addRow(const QString &key, const QString &text) override;
    void setRowCount(qsizetype position, const QString &key, const QString &count) override;

    std::unique_ptr<Ui::frmMain> ui;
    QString m_applicationFolder;
    CreatedOnFirstUse<data::Connection> conn;
    CreatedOnFirstUse<data::Recordset> rs;
    OkCommand::State m_count;
    bool m_commandRunning = false;
};
