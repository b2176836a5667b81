// SPDX-License-Identifier: MIT
#include "optionparsing.h"

#include "messages.h"

#include <QCommandLineParser>
#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace CommandLine {

// What is wrong with ARGUMENTS that the parser refused although it knew
// every option, read as the parser reads them: its own words are English.
QString parseFailure(const QStringList &arguments, const QList<QCommandLineOption> &options)
{
    const auto find = [&options](const QString &name) -> const QCommandLineOption * {
        for (const QCommandLineOption &option : options)
            if (option.names().contains(name))
                return &option;
        return nullptr;
    };
    const auto missing = [](const QString &argument, const QCommandLineOption *option) {
        return Messages::tr("选项“%1”后面缺少 %2。").arg(argument, option->valueName());
    };
    const auto unexpected = [](const QString &option) { return Messages::tr("选项“%1”不带值。").arg(option); };
    const qsizetype last = arguments.size() - 1;
    for (qsizetype i = 1; i <= last; ++i) {
        const QString &argument = arguments.at(i);
        if (argument == u"--"_s)
            break;
        if (argument.size() < 2 || !argument.startsWith(u'-'))
            continue;
        if (argument.startsWith(u"--"_s)) {
            const qsizetype assign = argument.indexOf(u'=');
            const QCommandLineOption *option = find(argument.mid(2, assign < 0 ? -1 : assign - 2));
            if (option && !option->valueName().isEmpty() && assign < 0 && i++ == last)
                return missing(argument, option);
            if (option && option->valueName().isEmpty() && assign >= 0)
                return unexpected(argument.left(assign));
            continue;
        }
        // Short options run together until one that takes a value: the rest
        // of the word, or else the next argument, is its value.
        for (qsizetype at = 1; at < argument.size(); ++at) {
            const QCommandLineOption *option = find(argument.mid(at, 1));
            if (!option)
                break;
            if (!option->valueName().isEmpty()) {
                if (at + 1 == argument.size() && i++ == last)
                    return missing(argument, option);
                break;
            }
            if (at + 1 < argument.size() && argument.at(at + 1) == u'=')
                return unexpected(argument.left(at + 1));
        }
    }
    return Messages::tr("选项用得不对。");
}

QCommandLineOption helpOption()
{
    // Not the parser's own help option: it also offers --help-all, for the
    // options of Qt's graphical programs, which these programs have none
    // of. Its wording is still Qt's, from Qt's translations.
    return QCommandLineOption({u"h"_s, u"help"_s},
                              QCoreApplication::translate("QCommandLineParser", "Displays help on commandline options."));
}

ParseResult parseCommandLine(QCommandLineParser &parser, const QStringList &arguments,
                             const QList<QCommandLineOption> &known, QString *text)
{
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        *text = unknown.isEmpty() ? parseFailure(arguments, known)
                                  : Messages::tr("不认识选项“%1%2”。")
                                            .arg(unknown.first().size() == 1 ? u"-"_s : u"--"_s, unknown.first());
        return ParseResult::Error;
    }
    if (parser.isSet(u"help"_s)) {
        *text = parser.helpText();
        return ParseResult::Help;
    }
    if (parser.isSet(u"version"_s)) {
        *text = QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n';
        return ParseResult::Version;
    }
    return ParseResult::Run;
}

} // namespace CommandLine
