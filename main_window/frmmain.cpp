// SPDX-License-Identifier: MIT
#include "frmmain.h"

#include "accesskeys.h"
#include "frmabout.h"
#include "msgbox.h"
#include "placement.h"
#include "runtime.h"
#include "strokelookup.h"
#include "systemcolours.h"
#include "ui_frmmain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScopedValueRollback>

using namespace Qt::StringLiterals;

frmMain::frmMain(const QString &applicationFolder, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::frmMain>())
    , m_applicationFolder(applicationFolder)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    setSizeGripEnabled(false);

    SystemColour::paint(this, SystemColour::captionText);
    SystemColour::paint(ui->Frame1, SystemColour::window);
    for (QLabel *label : {ui->Label1, ui->Label2}) {
        label->setForegroundRole(SystemColour::windowText);
        label->adjustSize();
    }
    SystemColour::paintView(ui->ListView1, SystemColour::infoBackground);

    connect(ui->Command1, &QPushButton::clicked, this, &frmMain::Command1_Click);
    connect(ui->Command2, &QPushButton::clicked, this, &frmMain::Command2_Click);
    connect(ui->Command3, &QPushButton::clicked, this, &frmMain::Command3_Click);
    for (QPushButton *button : {ui->Command1, ui->Command2, ui->Command3})
        clickOnAccessKey(button);

    centreOnScreen(this);
}

frmMain::~frmMain() = default;

void frmMain::Form_Load()
{
    StrokeLookup::openDatabase(*conn, m_applicationFolder);

    ui->ListView1->setReportView();
    const float width = ui->ListView1->widthInTwips();
    constexpr float firstColumnMargin = 50.0f;
    ui->ListView1->addColumnHeader(u"汉字"_s, width / 2 - firstColumnMargin);
    ui->ListView1->addColumnHeader(u"笔画数"_s);
}

qint16 frmMain::GetNumber(const QString &temStr)
{
    return StrokeLookup::GetNumber(*conn, *rs, temStr, [](const QString &description) {
        MsgBox(description, vbCritical, u"出错"_s);
    });
}

void frmMain::Command1_Click()
{
    runCommand([this] {
        if (!OkCommand::run(ui->Text1->text(), *this, m_count)) {
            MsgBox(u"您输入的不是汉字,或汉字之间有空格"_s + u"\r\n"_s + u"请重新输入"_s, vbCritical);
            ui->Text1->setFocus();
        }
    });
}

void frmMain::Command2_Click()
{
    runCommand([] {
        frmAbout about;
        about.Form_Load();
        about.exec();
    });
}

void frmMain::Command3_Click()
{
    runCommand([this] {
        StrokeLookup::closeDatabase(*conn, *rs);
        close();
    });
}

void frmMain::runCommand(const std::function<void()> &command)
{
    // A modal window blocks the mouse and the keyboard but not every press:
    // the accessibility bus presses buttons past it. A command run again
    // inside its own message box would replace the rows and arrays the
    // first run is still walking, and Close would end the database under
    // the About window; so while a command runs or a modal window is open,
    // a press does nothing.
    if (m_commandRunning || QApplication::activeModalWidget())
        return;
    const QScopedValueRollback running(m_commandRunning, true);
    runHandler(command);
}

void frmMain::reject()
{
    // Esc presses Close.
    ui->Command3->click();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    // The close box unloads the window without the Close command.
    event->accept();
}

void frmMain::clearRows()
{
    ui->ListView1->clearItems();
}

void frmMain::addRow(const QString &key, const QString &text)
{
    ui->ListView1->addItem(key, text);
}

void frmMain::setRowCount(qsizetype position, const QString &key, const QString &count)
{
    QTreeWidgetItem *row = key.isEmpty() ? ui->ListView1->item(position) : ui->ListView1->item(key);
    ui->ListView1->setSubItem(row, 1, count);
}
