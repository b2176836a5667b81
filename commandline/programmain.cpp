// SPDX-License-Identifier: MIT
#include "programmain.h"

#include "output.h"

#include <QChar>
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

constexpr char32_t firstPrintable = 0x20;
constexpr char32_t asciiDelete = 0x7F;
constexpr int nameDigits = 4;
constexpr int hexBase = 16;

} // namespace

bool isActedOnByTerminal(char32_t codePoint)
{
    if (codePoint >= firstPrintable && codePoint < asciiDelete)
        return false;
    switch (QChar::category(codePoint)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString visibleText(const QString &text, LineFeeds lineFeeds)
{
    QString shown;
    shown.reserve(text.size());
    for (const char32_t codePoint : text.toUcs4()) {
        if (isActedOnByTerminal(codePoint) && !(codePoint == U'\n' && lineFeeds == LineFeeds::Kept))
            shown += u"<U+"_s + QString::number(uint(codePoint), hexBase).toUpper().rightJustified(nameDigits, u'0')
                    + u'>';
        else
            shown += QStringView(QChar::fromUcs4(codePoint));
    }
    return shown;
}

void writeMessage(std::FILE *file, const QString &text)
{
    const QByteArray bytes = visibleText(text, LineFeeds::Kept).toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
}

int writeText(const QString &text, std::FILE *out, std::FILE *err)
{
    Output output(out);
    const QByteArray bytes = text.toUtf8();
    output.append(bytes.constData(), std::size_t(bytes.size()));
    if (output.flush() || output.isClosed())
        return Done;
    writeMessage(err, QCoreApplication::applicationName() + u": "_s + output.error());
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
        writeMessage(err, prefix + text);
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
