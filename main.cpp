// SPDX-License-Identifier: MIT
#include "appinfo.h"
#include "frmmain.h"
#include "msgbox.h"
#include "runtime.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace {

constexpr int designFontPointSize = 9;

// Qt's own texts (the standard buttons of message boxes) in Chinese, where
// the system has Qt's translations; without them they stay in English.
void loadQtTranslations(QApplication &app, QTranslator &translator)
{
    if (translator.load(QLocale(), u"qtbase"_s, u"_"_s,
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&translator);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(App::title);
    QApplication::setApplicationDisplayName(App::title);
    QApplication::setApplicationVersion(App::versionText);
    QApplication::setDesktopFileName(App::desktopFileName);
    QApplication::setWindowIcon(QIcon(u":/icons/tarvelo.ico"_s));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QTranslator qtTranslator;
    loadQtTranslations(app, qtTranslator);
    // The windows are laid out for a 9-point Song (Ming) face, whose
    // half-width characters are half as wide as the full-width ones.
    QFont font = QApplication::font();
    font.setFamilies({u"SimSun"_s, u"AR PL UMing CN"_s, u"WenQuanYi Zen Hei"_s, font.family()});
    font.setPointSize(designFontPointSize);
    QApplication::setFont(font);

    frmMain window;
    try {
        window.Form_Load();
    } catch (const RuntimeError &error) {
        MsgBox(error.description(), vbCritical);
        return uncaughtErrorExitCode;
    }
    window.show();
    return app.exec();
}
