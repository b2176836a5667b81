// SPDX-License-Identifier: MIT
#include "sortoptions.h"

#include "delimited.h"
#include "linereader.h"
#include "sortmessages.h"

#include <QCommandLineParser>

#include <limits>

using namespace Qt::StringLiterals;

namespace Sort {

namespace {

// "N", or "N,N" as sort(1) writes one field, counted from 1.
bool parseField(const QString &text, qsizetype *field)
{
    const QStringList parts = text.split(u',');
    if (parts.size() > 2 || (parts.size() == 2 && parts.first() != parts.last()))
        return false;
    bool ok = false;
    const uint number = parts.first().toUInt(&ok);
    if (!ok || number == 0 || number > uint(std::numeric_limits<int>::max()))
        return false;
    *field = qsizetype(number) - 1;
    return true;
}

// One character; a shell's quoting of a TAB is hard to type, so "\t" is one.
bool parseSeparator(const QString &text, char32_t *separator)
{
    if (text == u"\\t"_s) {
        *separator = U'\t';
        return true;
    }
    const QList<uint> codePoints = text.toUcs4();
    if (codePoints.size() != 1 || codePoints.first() == '\n' || codePoints.first() == '\r'
        || codePoints.first() == '"')
        return false;
    *separator = char32_t(codePoints.first());
    return true;
}

} // namespace

ParseResult parseArguments(const QStringList &arguments, Options *options, QString *text)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
            Messages::tr("按笔画序排列各行（先比笔画数，再比笔顺），写到标准输出。没有 FILE 或 FILE 为“-”时读标准输入。"));
    const QCommandLineOption outputOption(u"o"_s, Messages::tr("把结果写入 FILE（可以是输入之一）：读完全部输入后一次替换。"),
                                          u"FILE"_s);
    const QCommandLineOption separatorOption(u"t"_s, Messages::tr("字段分隔符 SEP（一个字符，如“,”或“\\t”）；为“,”时按 CSV 的引号规则。"),
                                             u"SEP"_s);
    const QCommandLineOption fieldOption(u"k"_s, Messages::tr("按第 N 个字段排序（从 1 数起）；没有 -t 时字段以空白分隔。"),
                                         u"N"_s);
    const QCommandLineOption headerOption(u"header"_s, Messages::tr("每个输入的第一行是表头，留在最前面。"));
    const QCommandLineOption reverseOption({u"r"_s, u"reverse"_s}, Messages::tr("倒序排列（相等的行仍保持原来的先后）。"));
    const QCommandLineOption encodingOption(u"encoding"_s, Messages::tr("输入的编码（默认 UTF-8；如 GB18030、GBK、Big5、UTF-16LE）。输出用同一编码。"),
                                            u"NAME"_s);
    const QCommandLineOption keyOption(u"key"_s, Messages::tr("在每行前加上排序键和一个 TAB：只含数字和大写字母，按字节排序即是笔画序。"));
    const QCommandLineOption databaseOption(u"database"_s, Messages::tr("改用笔画数据库 PATH（笔顺文件在它旁边）。"), u"PATH"_s);
    parser.addOptions({outputOption, separatorOption, fieldOption, headerOption, reverseOption, encodingOption,
                       keyOption, databaseOption});
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(u"FILE"_s, Messages::tr("要排序的文件。"), u"[FILE...]"_s);

    const auto fail = [text](const QString &message) {
        *text = message + u'\n' + Messages::tr("用 tarvelo-sort --help 查看用法。");
        return ParseResult::Error;
    };
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return fail(Messages::tr("不认识选项“%1%2”。")
                                .arg(unknown.first().size() == 1 ? u"-"_s : u"--"_s, unknown.first()));
        return fail(Messages::tr("选项用得不对：%1").arg(parser.errorText()));
    }
    if (parser.isSet(helpOption)) {
        *text = parser.helpText();
        return ParseResult::Help;
    }
    if (parser.isSet(versionOption)) {
        *text = QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() + u'\n';
        return ParseResult::Version;
    }

    Settings &settings = options->settings;
    options->files = parser.positionalArguments();
    options->outputPath = parser.value(outputOption);
    options->databasePath = parser.value(databaseOption);
    settings.header = parser.isSet(headerOption);
    settings.reverse = parser.isSet(reverseOption);
    settings.printKeys = parser.isSet(keyOption);
    if (parser.isSet(outputOption) && options->outputPath.isEmpty())
        return fail(Messages::tr("-o 要一个文件名。"));
    if (parser.isSet(separatorOption) && !parseSeparator(parser.value(separatorOption), &settings.separator))
        return fail(Messages::tr("-t 要一个字符（不能是换行或引号），“%1”不是。").arg(parser.value(separatorOption)));
    if (parser.isSet(fieldOption)) {
        if (!parseField(parser.value(fieldOption), &settings.field))
            return fail(Messages::tr("-k 要一个从 1 数起的字段号 N，“%1”不是。").arg(parser.value(fieldOption)));
    } else if (parser.isSet(separatorOption)) {
        return fail(Messages::tr("-t 要和 -k 一起用，指明按哪个字段排序。"));
    }
    if (parser.isSet(encodingOption)) {
        settings.encoding = parser.value(encodingOption).toLatin1();
        if (!Count::TextEncoding::forName(settings.encoding))
            return fail(Messages::tr("不认识编码“%1”。可用 UTF-8、GB18030、GBK、Big5、UTF-16LE、UTF-16BE 等。")
                                .arg(parser.value(encodingOption)));
    }
    return ParseResult::Run;
}

} // namespace Sort
