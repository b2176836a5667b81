// SPDX-License-Identifier: MIT
#include "application.h"

#include "appinfo.h"
#include "design.h"

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
void loadQtTranslations(QApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(), u"qtbase"_s, u"_"_s,
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(translator);
}

} // namespace

void setUpApplication(QApplication &app, InterfaceFont font)
{
    // No display name: Qt would append it to every window title, and each
    // window's title is exactly the one its design gives.
    QApplication::setApplicationName(App::title);
    QApplication::setApplicationVersion(App::versionText);
    QApplication::setDesktopFileName(App::desktopFileName);
    QApplication::setWindowIcon(QIcon(u":/icons/tarvelo.ico"_s));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    loadQtTranslations(app);
    if (font == InterfaceFont::System)
        return;
    // The windows are laid out for a 9-point Song face.
    QFont design = QApplication::font();
    design.setFamilies(Design::songFontFamilies() << design.family());
    design.setPointSize(designFontPointSize);
    QApplication::setFont(design);
}
