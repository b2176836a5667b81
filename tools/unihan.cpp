// SPDX-License-Identifier: MIT
#include "unihan.h"

#include "runtimeerror.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <bzlib.h>

namespace {

constexpr qsizetype unpackChunk = 1 << 20;
constexpr int hexadecimal = 16;

// Unpacks one bzip2 stream starting at PACKED[*POS] and moves *POS past it.
void unpackStream(const QByteArray &packed, qsizetype *pos, QByteArray *text, const QString &filePath)
{
    bz_stream stream{};
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK)
        throw RuntimeError(QStringLiteral("bzip2 cannot start"));
    stream.next_in = const_cast<char *>(packed.constData() + *pos);
    stream.avail_in = unsigned(packed.size() - *pos);
    int rc = BZ_OK;
    while (rc == BZ_OK) {
        const qsizetype used = text->size();
        text->resize(used + unpackChunk);
        stream.next_out = text->data() + used;
        stream.avail_out = unsigned(unpackChunk);
        rc = BZ2_bzDecompress(&stream);
        text->resize(text->size() - stream.avail_out);
        if (rc == BZ_OK && stream.avail_in == 0 && stream.avail_out != 0)
            break;
    }
    *pos = packed.size() - stream.avail_in;
    BZ2_bzDecompressEnd(&stream);
    if (rc != BZ_STREAM_END)
        throw RuntimeError(QStringLiteral("%1 is not a complete bzip2 file").arg(filePath));
}

// Parallel compressors write one stream per block, so a file may hold
// several; stopping after the first would silently drop the rest.
QByteArray unpackBzip2(const QByteArray &packed, const QString &filePath)
{
    QByteArray text;
    qsizetype pos = 0;
    do {
        unpackStream(packed, &pos, &text, filePath);
    } while (pos < packed.size());
    return text;
}

} // namespace

QByteArray readUnihanFile(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(QStringLiteral("cannot read %1: %2").arg(filePath, file.errorString()));
    const QByteArray content = file.readAll();
    if (filePath.endsWith(QLatin1String(".bz2")))
        return unpackBzip2(content, filePath);
    return content;
}

UnihanStrokes parseTotalStrokes(const QByteArray &text)
{
    static const QByteArray versionTag = "# Unicode version: ";
    UnihanStrokes result;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArray line = text.mid(start, end - start).trimmed();
        start = end + 1;
        if (line.startsWith(versionTag)) {
            result.unicodeVersion = QString::fromLatin1(line.mid(versionTag.size()).trimmed());
            continue;
        }
        if (!line.startsWith("U+") || !line.contains("\tkTotalStrokes\t"))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 3)
            continue;
        bool okCode = false;
        const uint codePoint = fields.at(0).mid(2).toUInt(&okCode, hexadecimal);
        bool okCount = false;
        const int count = fields.at(2).trimmed().split(' ').first().toInt(&okCount);
        if (okCode && okCount)
            result.counts.append({char32_t(codePoint), count});
    }
    std::sort(result.counts.begin(), result.counts.end());
    return result;
}
