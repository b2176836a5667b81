// SPDX-License-Identifier: MIT
#include "strokesequences.h"

#include "runtimeerror.h"
#include "strokelookup.h"
#include "stroketable.h"
#include "systemtext.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// The real file is under 2 MB; the limit keeps a wrong file named by mistake
// from taking the machine's memory.
constexpr qint64 maxFileSize = qint64(64) << 20;

struct Damaged
{
    qsizetype line;
};

// One strict UTF-8 code point filling [P, END) exactly, or 0.
char32_t onlyCodePoint(const unsigned char *p, const unsigned char *end)
{
    const qsizetype size = end - p;
    if (size <= 0)
        return 0;
    if (size == 1)
        return p[0] < 0x80 ? p[0] : 0;
    static constexpr unsigned char leadMasks[] = {0, 0, 0x1F, 0x0F, 0x07};
    static constexpr char32_t minimums[] = {0, 0, 0x80, 0x800, 0x10000};
    const int expected = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC0 ? 2 : 0;
    if (expected == 0 || size != expected)
        return 0;
    char32_t c = p[0] & leadMasks[expected];
    for (qsizetype i = 1; i < size; ++i) {
        if ((p[i] & 0xC0U) != 0x80)
            return 0;
        c = (c << 6) | (p[i] & 0x3FU);
    }
    const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
    return c < minimums[expected] || c >= 0x110000 || surrogate ? 0 : c;
}

// The order of the lines: by strokes, then by sequence. A character without
// a sequence is placed by its count alone, where the table knows it.
class InOrder
{
public:
    // Whether a line with SEQUENCE (empty for none) and COUNT (0 where not
    // known) may follow those before it.
    bool follows(std::string_view sequence, qint16 count)
    {
        const qsizetype strokes = sequence.empty() ? count : qsizetype(sequence.size());
        if (strokes == 0)
            return true;
        if (strokes < m_strokes)
            return false;
        if (strokes > m_strokes)
            m_last = {};
        m_strokes = strokes;
        if (sequence.empty())
            return true;
        if (sequence < m_last)
            return false;
        m_last = sequence;
        return true;
    }

private:
    qsizetype m_strokes = 0;
    std::string_view m_last;
};

} // namespace

QString StrokeSequences::pathBeside(const QString &databasePath)
{
    const QFileInfo info(databasePath);
    return info.dir().filePath(info.completeBaseName() + fileSuffix);
}

bool StrokeSequences::isSequence(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c >= firstStroke && c <= lastStroke;
    });
}

std::string_view StrokeSequences::sequence(char32_t codePoint) const
{
    const qint32 at = position(codePoint);
    return at < 0 ? std::string_view() : sequenceAt(at);
}

std::string_view StrokeSequences::sequenceAt(qint32 position) const
{
    const Entry &entry = m_entries[size_t(position)];
    return m_text.substr(entry.offset, entry.length);
}

void StrokeSequences::clear()
{
    m_text = {};
    m_entries.clear();
    m_positions.reset();
    m_file.reset();
}

// What to do about the sequence file at PATH that cannot be used: one
// beside a database the user named is theirs to replace.
QString StrokeSequences::remedy(const QString &path)
{
    const QString installed = pathBeside(StrokeLookup::databasePath(QCoreApplication::applicationDirPath()));
    if (QFileInfo(path) == QFileInfo(installed) || QDir::cleanPath(path) == QDir::cleanPath(installed))
        return tr("请重新安装 Tarvelo。");
    return tr("它在 --database 给的笔画数据库旁边；请在那里放一个完好的笔顺数据文件，或者不给 --database。");
}

void StrokeSequences::load(const QString &path, const StrokeTable *counts)
{
    clear();
    auto file = std::make_unique<QFile>(path);
    if (!file->exists())
        throw RuntimeError(tr("找不到笔顺数据文件“%1”。").arg(path) + remedy(path));
    // Opening a named pipe would wait for a writer that never comes.
    if (!QFileInfo(path).isFile())
        throw RuntimeError(tr("笔顺数据文件“%1”不是普通文件（而是文件夹、设备或管道）。").arg(path) + remedy(path));
    if (!file->open(QIODevice::ReadOnly))
        throw RuntimeError(tr("无法读取笔顺数据文件“%1”：%2。").arg(path, quotedSystemText(file->errorString())));
    const qint64 size = file->size();
    if (size > maxFileSize)
        throw RuntimeError(tr("“%1”不是 Tarvelo 的笔顺数据文件。").arg(path) + remedy(path));
    const uchar *mapped = size > 0 ? file->map(0, size) : nullptr;
    if (size > 0 && !mapped)
        throw RuntimeError(tr("无法读取笔顺数据文件“%1”：%2。").arg(path, quotedSystemText(file->errorString())));
    if (size == 0)
        throw RuntimeError(tr("笔顺数据文件“%1”是空的。").arg(path) + remedy(path));
    m_file = std::move(file);
    m_text = std::string_view(reinterpret_cast<const char *>(mapped), size_t(size));
    try {
        parse(counts);
    } catch (const Damaged &damaged) {
        clear();
        throw RuntimeError(tr("笔顺数据文件“%1”已损坏（第 %2 行）。").arg(path).arg(damaged.line)
                           + remedy(path));
    }
}

// Every line must be whole and well formed, no character may come twice,
// and the entries comment must name as many lines as there are: a file cut
// short would otherwise lose characters without a word. The lines must
// also keep the order they give, fewer strokes first and within one count
// by sequence, and each sequence must be as long as its character's count
// in COUNTS: a line moved, swapped or altered would otherwise change the
// order without a word.
void StrokeSequences::parse(const StrokeTable *counts)
{
    auto *positions = static_cast<qint32 *>(std::calloc(codePointLimit, sizeof(qint32)));
    if (!positions)
        throw std::bad_alloc();
    m_positions.reset(positions);
    const auto *begin = reinterpret_cast<const unsigned char *>(m_text.data());
    const auto *end = begin + m_text.size();
    qsizetype line = 0;
    qint64 declared = -1;
    InOrder order;
    for (const unsigned char *p = begin; p < end;) {
        ++line;
        const auto *lineEnd = static_cast<const unsigned char *>(std::memchr(p, '\n', size_t(end - p)));
        if (!lineEnd)
            throw Damaged{line};
        const std::string_view text(reinterpret_cast<const char *>(p), size_t(lineEnd - p));
        if (text.starts_with('#')) {
            if (text.starts_with(std::string_view(entriesComment.data(), size_t(entriesComment.size())))) {
                bool ok = false;
                const std::string_view number = text.substr(size_t(entriesComment.size()));
                declared = QByteArray(number.data(), qsizetype(number.size())).toLongLong(&ok);
                if (!ok || declared < 0 || declared > qint64(m_text.size()))
                    throw Damaged{line};
                m_entries.reserve(size_t(declared));
            }
        } else {
            const auto *tab = static_cast<const unsigned char *>(std::memchr(p, '\t', text.size()));
            if (!tab)
                throw Damaged{line};
            const char32_t codePoint = onlyCodePoint(p, tab);
            const std::string_view sequence(reinterpret_cast<const char *>(tab + 1), size_t(lineEnd - tab - 1));
            const bool none = sequence.size() == 1 && sequence.front() == noSequence;
            if (codePoint == 0 || (!none && !isSequence(sequence)) || positions[codePoint] != 0)
                throw Damaged{line};
            const qint16 count = counts && counts->isKnown(codePoint) ? counts->count(codePoint) : 0;
            if ((!none && count > 0 && qsizetype(sequence.size()) != count)
                || !order.follows(none ? std::string_view() : sequence, count))
                throw Damaged{line};
            m_entries.push_back({codePoint, std::uint32_t(tab + 1 - begin), none ? 0U : std::uint32_t(sequence.size())});
            positions[codePoint] = qint32(m_entries.size());
        }
        p = lineEnd + 1;
    }
    if (declared != qint64(m_entries.size()))
        throw Damaged{line};
}
