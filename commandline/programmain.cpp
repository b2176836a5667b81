// SPDX-License-Identifier: MIT
#include "programmain.h"

#include "output.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <new>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

using namespace Qt::StringLiterals;

namespace CommandLine {

namespace {

void writeLine(std::FILE *file, const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
}

} // namespace

int writeText(const QString &text, std::FILE *out, std::FILE *err)
{
    Output output(out);
    const QByteArray bytes = text.toUtf8();
    output.append(bytes.constData(), std::size_t(bytes.size()));
    if (output.flush() || output.isClosed())
        return Done;
    writeLine(err, QCoreApplication::applicationName() + u": "_s + output.error());
    return Failed;
}

std::optional<int> endOfParse(ParseResult result, const QString &text, const QString &prefix, std::FILE *out,
                              std::FILE *err)
{
    switch (result) {
    case ParseResult::Help:
    case ParseResult::Version:
        return writeText(text, out, err);
    case ParseResult::Error:
        writeLine(err, prefix + text);
        return Failed;
    case ParseResult::Run:
        break;
    }
    return std::nullopt;
}

bool openStandardDescriptors()
{
#ifdef Q_OS_UNIX
    // A descriptor left closed would be taken by the first file opened
    // (Qt opens its own at start) and the counts written into that. Each
    // is held by the null device opened the other way round, so that using
    // it fails as the closed one would have.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int held = open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        if (held != fd) {
            if (held >= 0)
                close(held);
            return false;
        }
    }
#endif
    return true;
}

void loadQtTranslations(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), u"qtbase"_s, u"_"_s,
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

int runProgram(int argc, char *argv[], const char *name, const char *version, const std::function<int()> &body)
{
#ifdef SIGPIPE
    // A reader that has had enough (head -1) closes the pipe; the write
    // then fails with EPIPE and the program ends quietly, instead of being
    // killed with a status that pipefail would count as a failure.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (!openStandardDescriptors())
        return Failed;
    QCoreApplication app(argc, argv);
    loadQtTranslations(app);
    QCoreApplication::setApplicationName(QString::fromLatin1(name));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(version));
    try {
        return body();
    } catch (const std::bad_alloc &) {
        // Worded without Qt, which may need memory to translate.
        std::fprintf(stderr, "%s: 内存不够，无法继续。\n", name);
        return Failed;
    }
}

} // namespace CommandLine
