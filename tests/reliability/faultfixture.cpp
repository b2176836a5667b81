// SPDX-License-Identifier: MIT
// tarvelo-faultfixture KIND OUT: writes a stroke database that is wrong in
// one way, for the start-up fault tests.
#include "dbwriter.h"
#include "runtimeerror.h"

#include <QCoreApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: tarvelo-faultfixture otherpassword|plain|notable|renamedcolumn OUT\n", stderr);
        return 2;
    }
    const QString &kind = args.at(1);
    StrokeDbLayout layout;
    if (kind == u"otherpassword")
        layout.password = u"not-the-password"_s;
    else if (kind == u"plain")
        layout.password.clear();
    else if (kind == u"notable")
        layout.table = u"b"_s;
    else if (kind == u"renamedcolumn")
        layout.countColumn = u"strokes"_s;
    else {
        std::fprintf(stderr, "unknown kind %s\n", qPrintable(kind));
        return 2;
    }
    try {
        writeStrokeDatabase(args.at(2), {{u"汉"_s, 5}, {u"字"_s, 6}}, layout);
    } catch (const RuntimeError &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
