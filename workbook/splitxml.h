// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>

// What reading one large part of UTF-8 XML in two halves on two threads
// takes: the second half's reader sees the part's head and then its bytes
// from an element near the middle on, as one document.
namespace Workbook {

// Parts smaller than this are read on one thread: a second would save
// less than starting it costs. The fuzzing build splits every part, so
// that its small inputs reach the reading in two halves too.
#ifdef TARVELO_SPLIT_EVERY_SHEET
constexpr qsizetype minSplitBytes = 0;
#else
constexpr qsizetype minSplitBytes = 256 * 1024;
#endif

// HEAD and then REST, bytes held elsewhere, read as one stream: the
// second half's document without a copy of the part.
class JoinedDevice : public QIODevice
{
public:
    JoinedDevice(QByteArrayView head, QByteArrayView rest);
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArrayView m_head;
    QByteArrayView m_rest;
};

// The UTF-16 code units, which the XML reader's offsets count, in BYTES
// of UTF-8.
qint64 utf16Length(QByteArrayView bytes);

// The bytes of UTF-8 XML that hold its first CHARS UTF-16 code units.
qsizetype byteOffset(QByteArrayView xml, qint64 chars);

// Where the second half begins: TAG (such as "<row") past the middle of
// XML and past FROM, straight after another tag, so that the reader of
// the first half can tell it ends a token there; -1 where there is none.
qsizetype splitPoint(const QByteArray &xml, qsizetype from, const char *tag);

} // namespace Workbook
