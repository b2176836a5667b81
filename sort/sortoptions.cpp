// SPDX-License-Identifier: MIT
#include "sortoptions.h"

#include "fieldoptions.h"
#include "linereader.h"
#include "optionparsing.h"
#include "sortmessages.h"

#include <QCommandLineParser>

using namespace Qt::StringLiterals;

namespace Sort {

namespace {

// The options, declared once for the parser and for reading their values.
struct Declared
{
    QCommandLineOption output{u"o"_s, Messages::tr("把结果写入 FILE（可以是输入之一）：读完全部输入后一次替换。"), u"FILE"_s};
    Delimited::FieldOptions fields{Messages::tr("按第 N 个字段排序"), Messages::tr("每个输入的第一行是表头，留在最前面。")};
    QCommandLineOption reverse{{u"r"_s, u"reverse"_s}, Messages::tr("倒序排列（相等的行仍保持原来的先后）。")};
    QCommandLineOption encoding{u"encoding"_s,
                                Messages::tr("输入的编码（默认 UTF-8；如 GB18030、GBK、Big5、UTF-16LE）。输出用同一编码。"),
                                u"NAME"_s};
    QCommandLineOption rule{u"rule"_s,
                            Messages::tr("排序规则：姓氏（默认，按姓氏笔画，王毅在王沪宁前）、姓名（按姓名笔画，逐字比较，"
                                         "王沪宁在王毅前；词表用它）或繁體（系统的繁体中文笔画排序，不用笔画数据库）。"),
                            u"RULE"_s};
    QCommandLineOption key{u"key"_s,
                           Messages::tr("在每行前加上排序键和一个 TAB：只含数字和大写字母，按字节排序即是所选规则的顺序。")};
    QCommandLineOption database{u"database"_s, Messages::tr("改用笔画数据库 PATH（笔顺文件在它旁边）。"), u"PATH"_s};
};

// The values of the options the user gave; false with PROBLEM set when one
// is not usable.
bool takeValues(const QCommandLineParser &parser, const Declared &declared, Options *options, QString *problem)
{
    Settings &settings = options->settings;
    options->files = parser.positionalArguments();
    options->outputPath = parser.value(declared.output);
    options->databasePath = parser.value(declared.database);
    settings.reverse = parser.isSet(declared.reverse);
    settings.printKeys = parser.isSet(declared.key);
    if (parser.isSet(declared.rule)) {
        const std::optional<NameRule> rule = nameRuleFromName(parser.value(declared.rule));
        if (!rule) {
            *problem = Messages::tr("不认识规则“%1”。可用 姓氏（surname）、姓名（name）或 繁體（traditional）。")
                               .arg(parser.value(declared.rule));
            return false;
        }
        options->rule = *rule;
    }
    if (parser.isSet(declared.output) && options->outputPath.isEmpty()) {
        *problem = Messages::tr("-o 要一个文件名。");
        return false;
    }
    if (parser.isSet(declared.database) && options->databasePath.isEmpty()) {
        *problem = Messages::tr("--database 要一个笔画数据库的路径，不能是空的。");
        return false;
    }
    if (options->files.contains(QString())) {
        *problem = Messages::tr("文件名不能是空的（标准输入写作“-”）。");
        return false;
    }
    Delimited::FieldChoice choice;
    if (!declared.fields.take(parser, &choice, problem))
        return false;
    settings.field = choice.field;
    settings.separator = choice.separator;
    settings.header = choice.header;
    if (parser.isSet(declared.encoding)) {
        settings.encoding = parser.value(declared.encoding).toLatin1();
        if (settings.encoding.isEmpty() || !CommandLine::TextEncoding::forName(settings.encoding)) {
            *problem = CommandLine::TextEncoding::refusal(parser.value(declared.encoding));
            return false;
        }
    }
    return true;
}

} // namespace

ParseResult parseArguments(const QStringList &arguments, Options *options, QString *text)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
            Messages::tr("按笔画序排列各行（先比笔画数，再比笔顺），写到标准输出。默认按姓氏笔画：两个字的姓名"
                         "在姓和名之间留一个空位，排在同姓的三字姓名之前。没有 FILE 或 FILE 为“-”时读标准输入。"));
    const Declared declared;
    const QCommandLineOption helpOption = CommandLine::helpOption();
    const QList<QCommandLineOption> known{declared.output,       declared.fields.separator, declared.fields.field,
                                          declared.fields.header, declared.reverse,         declared.encoding,
                                          declared.rule,          declared.key,             declared.database,
                                          helpOption};
    parser.addOptions(known);
    parser.addVersionOption();
    parser.addPositionalArgument(u"FILE"_s, Messages::tr("要排序的文件。"), u"[FILE...]"_s);

    const auto fail = [text](const QString &message) {
        *text = message + u'\n' + Messages::tr("用 tarvelo-sort --help 查看用法。");
        return ParseResult::Error;
    };
    const ParseResult parsed = CommandLine::parseCommandLine(parser, arguments, known, text);
    if (parsed == ParseResult::Error)
        return fail(*text);
    if (parsed != ParseResult::Run)
        return parsed;
    QString problem;
    return takeValues(parser, declared, options, &problem) ? ParseResult::Run : fail(problem);
}

} // namespace Sort
