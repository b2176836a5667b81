// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

#include <memory>

class QTimer;

namespace Ui {
class frmAbout;
}

// The About window: a borderless window that fades in when shown, fades
// out and unloads itself after Close, and moves when dragged by its
// backdrop or its picture.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent = nullptr);
    ~frmAbout() override;

    // Writes the version line and makes the window translucent-capable
    // without giving it an opacity, so that it is not drawn before the
    // first fade-in step.
    void Form_Load();

public slots:
    void Timer1_Timer();
    void Command1_Click();
    void Timer2_Timer();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void reject() override;
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_MouseMove(Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, QPointF position);
    void Frame1_MouseMove(Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, QPointF position);
    void Image1_MouseMove(Qt::MouseButtons Button, Qt::KeyboardModifiers Shift, QPointF position);
    void dragWithLeftButton(Qt::MouseButtons Button);

    std::unique_ptr<Ui::frmAbout> ui;
    QTimer *Timer1;
    QTimer *Timer2;
    qint16 fadeInCount = 0;
    qint16 fadeOutCount = 0;
};
