// SPDX-License-Identifier: MIT
#include "frmmain.h"

#include "frmabout.h"
#include "msgbox.h"
#include "runtime.h"
#include "strokelookup.h"
#include "systemcolours.h"
#include "ui_frmmain.h"

#include <QCloseEvent>

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
    runHandler([this] {
        if (!StrokeCount::run(ui->Text1->text(), *this, m_count)) {
            MsgBox(u"您输入的不是汉字,或汉字之间有空格"_s + u"\r\n"_s + u"请重新输入"_s, vbCritical);
            ui->Text1->setFocus();
        }
    });
}

void frmMain::Command2_Click()
{
    runHandler([] {
        frmAbout about;
        about.Form_Load();
        about.exec();
    });
}

void frmMain::Command3_Click()
{
    runHandler([this] {
        StrokeLookup::closeDatabase(*conn, *rs);
        close();
    });
}

void frmMain::reject()
{
    // Esc presses the Cancel button.
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
