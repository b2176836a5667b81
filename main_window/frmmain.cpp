// SPDX-License-Identifier: MIT
#include "frmmain.h"

#include "frmabout.h"
#include "msgbox.h"
#include "runtime.h"
#include "strokelookup.h"
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

    // The design's colours are the user's scheme: the form shows the
    // caption-text colour, the frame the window colour, the list the
    // tooltip background.
    setBackgroundRole(QPalette::HighlightedText);
    setAutoFillBackground(true);
    ui->Frame1->setBackgroundRole(QPalette::Base);
    ui->Frame1->setForegroundRole(QPalette::Text);
    ui->Frame1->setAutoFillBackground(true);
    for (QLabel *label : {ui->Label1, ui->Label2}) {
        label->setForegroundRole(QPalette::Text);
        label->adjustSize();
    }
    QPalette listPalette = ui->ListView1->palette();
    listPalette.setColor(QPalette::Base, listPalette.color(QPalette::ToolTipBase));
    listPalette.setColor(QPalette::Text, listPalette.color(QPalette::Text));
    ui->ListView1->setPalette(listPalette);

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
