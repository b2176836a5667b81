// SPDX-License-Identifier: MIT
#include "frmabout.h"

#include "accesskeys.h"
#include "appinfo.h"
#include "design.h"
#include "module1.h"
#include "placement.h"
#include "rtfreader.h"
#include "runtime.h"
#include "runtimeerror.h"
#include "systemcolours.h"
#include "ui_frmabout.h"

#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QtNumeric>

using namespace Qt::StringLiterals;

namespace {

constexpr int timerInterval = 20; // ms
constexpr qint16 fadeStep = 5;
constexpr qint16 opaque = 255;
constexpr qreal documentFontPointSize = 8.25;

QString overflowDescription()
{
    return u"溢出"_s;
}

qint16 checkedAdd(qint16 a, qint16 b)
{
    qint16 sum = 0;
    if (qAddOverflow(a, b, &sum))
        throw RuntimeError(overflowDescription());
    return sum;
}

qint16 checkedSubtract(qint16 a, qint16 b)
{
    qint16 difference = 0;
    if (qSubOverflow(a, b, &difference))
        throw RuntimeError(overflowDescription());
    return difference;
}

quint8 toByte(qint16 value)
{
    if (value < 0 || value > opaque)
        throw RuntimeError(overflowDescription());
    return quint8(value);
}

QTimer *makeTimer(QObject *parent, const QString &name)
{
    auto *timer = new QTimer(parent);
    timer->setObjectName(name);
    timer->setInterval(timerInterval);
    timer->setTimerType(Qt::PreciseTimer);
    return timer;
}

} // namespace

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , ui(std::make_unique<Ui::frmAbout>())
{
    ui->setupUi(this);
    setFixedSize(size());
    setSizeGripEnabled(false);

    SystemColour::paint(this, SystemColour::captionText);
    SystemColour::paint(ui->Frame1, SystemColour::window);
    SystemColour::paint(ui->Label1, SystemColour::window);
    SystemColour::paintView(ui->RichTextBox1, SystemColour::captionText);

    // Text without formatting of its own uses a Song face.
    QFont documentFont = font();
    documentFont.setFamilies(QStringList{u"宋体"_s} + Design::songFontFamilies() << documentFont.family());
    documentFont.setPointSizeF(documentFontPointSize);
    ui->RichTextBox1->setFont(documentFont);
    ui->RichTextBox1->document()->setDefaultFont(documentFont);
    QFile source(u":/about/about.rtf"_s);
    if (source.open(QIODevice::ReadOnly))
        fillDocument(*ui->RichTextBox1->document(), readRtf(source.readAll()));
    ui->RichTextBox1->moveCursor(QTextCursor::Start);

    // Only the backdrop, the picture and the bare form start a drag; the
    // other controls keep their mouse to themselves.
    for (QWidget *control : {static_cast<QWidget *>(ui->RichTextBox1),
                             static_cast<QWidget *>(ui->Command1), static_cast<QWidget *>(ui->Label1)})
        control->setAttribute(Qt::WA_NoMousePropagation);
    ui->Frame1->installEventFilter(this);
    ui->Image1->installEventFilter(this);
    ui->Command1->installEventFilter(this);

    Timer2 = makeTimer(this, u"Timer2"_s);
    Timer1 = makeTimer(this, u"Timer1"_s);
    connect(Timer1, &QTimer::timeout, this, &frmAbout::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &frmAbout::Timer2_Timer);
    connect(ui->Command1, &QPushButton::clicked, this, &frmAbout::Command1_Click);

    clickOnAccessKey(ui->Command1);

    // Centred on the screen, whatever the position of the main window.
    centreOnScreen(this);

    Timer1->start();
}

frmAbout::~frmAbout() = default;

void frmAbout::Form_Load()
{
    runHandler([this] {
        ui->Label1->setText(u"版本号: "_s + QString(App::majorMinorVersion) + u" build "_s
                            + QString::number(App::revision));
        ui->Label1->adjustSize();
        Module1::makeLayered(this);
    });
}

void frmAbout::Timer1_Timer()
{
    runHandler([this] {
        fadeInCount = checkedAdd(fadeInCount, fadeStep);
        Module1::setLayeredAlpha(this, toByte(fadeInCount));
        if (fadeInCount == opaque) {
            fadeInCount = 0;
            Timer1->stop();
        }
    });
}

void frmAbout::Command1_Click()
{
    runHandler([this] {
        // Starting an active timer would restart its interval; a second
        // Close lets the running fade-out keep its pace.
        if (!Timer2->isActive())
            Timer2->start();
    });
}

void frmAbout::Timer2_Timer()
{
    runHandler([this] {
        fadeOutCount = checkedAdd(fadeOutCount, fadeStep);
        Module1::setLayeredAlpha(this, toByte(checkedSubtract(opaque, fadeOutCount)));
        if (fadeOutCount == opaque) {
            fadeOutCount = 0;
            Timer2->stop();
            done(QDialog::Rejected);
        }
    });
}

void frmAbout::Form_MouseMove(Qt::MouseButtons Button, Qt::KeyboardModifiers, QPointF)
{
    dragWithLeftButton(Button);
}

void frmAbout::Frame1_MouseMove(Qt::MouseButtons Button, Qt::KeyboardModifiers, QPointF)
{
    dragWithLeftButton(Button);
}

void frmAbout::Image1_MouseMove(Qt::MouseButtons Button, Qt::KeyboardModifiers, QPointF)
{
    dragWithLeftButton(Button);
}

void frmAbout::dragWithLeftButton(Qt::MouseButtons Button)
{
    runHandler([this, Button] {
        if (Button == Qt::LeftButton)
            Module1::beginWindowMove(this);
    });
}

void frmAbout::mouseMoveEvent(QMouseEvent *event)
{
    Form_MouseMove(event->buttons(), event->modifiers(), event->position());
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    // A focused button takes Enter, as everywhere on the desktop. Close is
    // no default button, which would take Enter anywhere in the window.
    if (watched == ui->Command1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ui->Command1->click();
            return true;
        }
    }
    if (event->type() == QEvent::MouseMove) {
        auto *move = static_cast<QMouseEvent *>(event);
        if (watched == ui->Frame1) {
            Frame1_MouseMove(move->buttons(), move->modifiers(), move->position());
            return true;
        }
        if (watched == ui->Image1) {
            Image1_MouseMove(move->buttons(), move->modifiers(), move->position());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::reject()
{
    // Esc presses Close.
    ui->Command1->click();
}

void frmAbout::closeEvent(QCloseEvent *event)
{
    // The system's close command unloads the window at once, without a
    // fade; QDialog would otherwise route it through reject().
    event->accept();
}
