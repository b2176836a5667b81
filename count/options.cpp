// SPDX-License-Identifier: MIT
#include "options.h"

#include "linereader.h"
#include "messages.h"
#include "optionparsing.h"

#include <QCommandLineParser>

#include <limits>

using namespace Qt::StringLiterals;

namespace Count {

namespace {

// 横 竖 撇 点 折, the strokes 1 to 5.
const QString strokeSymbols = QStringLiteral("一丨丿丶乛");

// "N" or "N-M" into a range of whole counts.
bool parseStrokeRange(const QString &text, int *fewest, int *most)
{
    const QStringList parts = text.split(u'-');
    if (parts.size() > 2)
        return false;
    bool ok = false;
    const uint low = parts.first().toUInt(&ok);
    if (!ok)
        return false;
    const uint high = parts.size() == 2 ? parts.last().toUInt(&ok) : low;
    constexpr uint highest = std::numeric_limits<qint16>::max();
    if (!ok || low > high || high > highest)
        return false;
    *fewest = int(low);
    *most = int(high);
    return true;
}

// Strokes as digits 1-5 or as the symbols that stand for them.
bool parseStrokeDigits(const QString &text, std::string *digits)
{
    digits->clear();
    for (const QChar c : text) {
        const qsizetype symbol = strokeSymbols.indexOf(c);
        if (symbol >= 0)
            digits->push_back(char('1' + symbol));
        else if (c >= u'1' && c <= u'5')
            digits->push_back(char(c.unicode()));
        else
            return false;
    }
    return !digits->empty();
}

// The options, declared once for the parser and for reading their values.
struct Declared
{
    QCommandLineOption file{{u"f"_s, u"file"_s}, Messages::tr("逐行读文件 FILE（“-”为标准输入）；可多次给出。"), u"FILE"_s};
    QCommandLineOption each{{u"e"_s, u"each"_s}, Messages::tr("每个字一行：字、TAB、笔画数（没有笔画数时为“-”）。")};
    QCommandLineOption json{u"json"_s, Messages::tr("每项输出一行 JSON。")};
    QCommandLineOption strict{u"strict"_s, Messages::tr("在标准错误上报告每个没有笔画数的字，并以状态 1 退出。")};
    QCommandLineOption encoding{u"encoding"_s, Messages::tr("输入的编码（默认 UTF-8；如 GB18030、GBK、Big5、UTF-16LE）。"),
                                u"NAME"_s};
    QCommandLineOption strokes{u"with-strokes"_s, Messages::tr("列出笔画数为 N 或 N 到 M 的字。"), u"N[-M]"_s};
    QCommandLineOption common{u"common"_s, Messages::tr("只算《通用规范汉字表》里的 8105 个字。")};
    QCommandLineOption database{u"database"_s, Messages::tr("改用笔画数据库 PATH。"), u"PATH"_s};
    QCommandLineOption sequence{u"sequence"_s, Messages::tr("和 --each 或 --json 一起用：加上每个字的笔顺（一丨丿丶乛）。")};
    QCommandLineOption begins{u"begins-with"_s,
                              Messages::tr("按笔画序列出笔顺以 SEQ 开头的字（SEQ 为数字 1-5 或 一丨丿丶乛）。"), u"SEQ"_s};
    QCommandLineOption help = CommandLine::helpOption();
    Delimited::FieldOptions fields{Messages::tr("数第 N 个字段，整行照原样输出，后面加上笔画数"),
                                   Messages::tr("第一行是表头：照原样输出，后面加上新列的名字。")};
    QCommandLineOption parts{u"parts"_s, Messages::tr("再加一列：每个字的笔画数，用“+”连起来（如 4+6）。")};
    QCommandLineOption outputEncoding{
            u"output-encoding"_s, Messages::tr("输出的编码（默认：用 -k、--parts 或 --header 时同输入，否则 UTF-8）。"),
            u"NAME"_s};
    QCommandLineOption bom{u"bom"_s, Messages::tr("输出 UTF-8，开头加字节顺序标记（Excel 据此认出 UTF-8）。")};

    // In the order the help lists them.
    QList<QCommandLineOption> all() const
    {
        return {file, each, json, strict, encoding, strokes, common, database, sequence, begins, help,
                fields.separator, fields.field, fields.header, parts, outputEncoding, bom};
    }
};

QString unknownEncoding(const QString &name)
{
    return CommandLine::TextEncoding::refusal(name);
}

// What to count and how to show it; an empty string, or what is wrong.
QString takeInputs(const QCommandLineParser &parser, const Declared &declared, Options *options)
{
    options->texts = parser.positionalArguments();
    options->files = parser.values(declared.file);
    options->strict = parser.isSet(declared.strict);
    options->common = parser.isSet(declared.common);
    options->databasePath = parser.value(declared.database);
    if (options->files.contains(QString()))
        return Messages::tr("-f 要一个文件名，不能是空的（标准输入写作“-”）。");
    if (parser.isSet(declared.database) && options->databasePath.isEmpty())
        return Messages::tr("--database 要一个笔画数据库的路径，不能是空的。");
    if (parser.isSet(declared.each) && parser.isSet(declared.json))
        return Messages::tr("--each 和 --json 只能选一个。");
    if (parser.isSet(declared.each))
        options->format = Format::Each;
    else if (parser.isSet(declared.json))
        options->format = Format::Json;
    if (!options->texts.isEmpty() && !options->files.isEmpty())
        return Messages::tr("文字参数和 -f 不能同时使用。");
    if (parser.isSet(declared.encoding)) {
        options->encoding = parser.value(declared.encoding).toLatin1();
        if (options->encoding.isEmpty() || !CommandLine::TextEncoding::forName(options->encoding))
            return unknownEncoding(parser.value(declared.encoding));
    }
    return QString();
}

// The rows kept whole: the field, the new columns and the output's encoding.
QString takeRows(const QCommandLineParser &parser, const Declared &declared, Options *options)
{
    QString problem;
    if (!declared.fields.take(parser, &options->fields, &problem))
        return problem;
    options->parts = parser.isSet(declared.parts);
    options->byteOrderMark = parser.isSet(declared.bom);
    if (parser.isSet(declared.outputEncoding)) {
        const QString name = parser.value(declared.outputEncoding);
        options->outputEncoding = name.toLatin1();
        const auto chosen = CommandLine::TextEncoding::forName(options->outputEncoding);
        if (!chosen || options->outputEncoding.isEmpty())
            return unknownEncoding(name);
        if (options->byteOrderMark && chosen->kind != CommandLine::TextEncoding::Kind::Utf8)
            return Messages::tr("--bom 只用于 UTF-8 输出，不能和 --output-encoding %1 一起用。").arg(name);
    }
    if (options->keepsRows() && options->format != Format::Totals)
        return Messages::tr("-t、-k、--header、--parts、--output-encoding 和 --bom 不能和 --each 或 --json 一起用。");
    return QString();
}

// The stroke sequences shown, and the lists of characters by their strokes.
QString takeListings(const QCommandLineParser &parser, const Declared &declared, Options *options)
{
    options->sequence = parser.isSet(declared.sequence);
    if (options->sequence && options->format == Format::Totals)
        return Messages::tr("--sequence 要和 --each 或 --json 一起用。");
    const bool listing = parser.isSet(declared.strokes) || parser.isSet(declared.begins);
    if (listing && (!options->texts.isEmpty() || !options->files.isEmpty() || options->format != Format::Totals
                    || options->strict || options->keepsRows()))
        return Messages::tr("--with-strokes 和 --begins-with 列出字表，不能和文字、-f、--each、--json 或 --strict 一起用。");
    const QString begins = parser.value(declared.begins);
    if (parser.isSet(declared.begins) && !parseStrokeDigits(begins, &options->beginsWith))
        return Messages::tr("--begins-with 要一串笔画：数字 1-5 或 一丨丿丶乛（横竖撇点折），“%1”不是。").arg(begins);
    if (parser.isSet(declared.strokes)) {
        const QString range = parser.value(declared.strokes);
        if (!parseStrokeRange(range, &options->fewestStrokes, &options->mostStrokes))
            return Messages::tr("--with-strokes 要一个笔画数 N 或一个范围 N-M（如 1 或 3-5），“%1”不是。").arg(range);
        options->listByStrokes = true;
    }
    return QString();
}

} // namespace

ParseResult parseArguments(const QStringList &arguments, Options *options, QString *text)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
            Messages::tr("数出每行文字的笔画总数，或每个字的笔画数。没有 TEXT 时逐行读 -f 指定的文件或标准输入。"));
    const Declared declared;
    const QList<QCommandLineOption> known = declared.all();
    parser.addOptions(known);
    parser.addVersionOption();
    parser.addPositionalArgument(u"TEXT"_s, Messages::tr("要数的文字，每个参数算一项。"), u"[TEXT...]"_s);

    const auto fail = [text](const QString &message) {
        *text = message + u'\n' + Messages::tr("用 tarvelo-count --help 查看用法。");
        return ParseResult::Error;
    };
    const ParseResult parsed = CommandLine::parseCommandLine(parser, arguments, known, text);
    if (parsed == ParseResult::Error)
        return fail(*text);
    if (parsed != ParseResult::Run)
        return parsed;
    QString problem = takeInputs(parser, declared, options);
    if (problem.isEmpty())
        problem = takeRows(parser, declared, options);
    if (problem.isEmpty())
        problem = takeListings(parser, declared, options);
    return problem.isEmpty() ? ParseResult::Run : fail(problem);
}

} // namespace Count
