// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace Sort {

// How one input's bytes are read: its encoding, the width of the unit a
// line ends in, and its byte order.
struct TextEncoding
{
    QByteArray name = "UTF-8";
    bool isUtf8 = true;
    qsizetype unit = 1;
    bool bigEndian = false;

    // EMPTY names UTF-8.
    static TextEncoding forName(const QByteArray &name);

    // The length of a byte-order mark at the start of BYTES, after which the
    // encoding is the one the mark names; 0 when there is none.
    qsizetype followBom(QByteArrayView bytes);

    // The offset of the first LF unit in [FROM, END) of DATA (FROM a
    // multiple of the unit away from the input's start), or -1.
    qsizetype lineEnd(const char *data, qsizetype from, qsizetype end) const;
    // Whether the unit at BYTES is a CR, or a LF.
    bool isUnit(const char *bytes, char ascii) const;
    // ASCII text in this encoding.
    QByteArray encodeAscii(QByteArrayView ascii) const;

    // Decodes BYTES (whole units, no line end) into CODEPOINTS. Returns the
    // offset of the first invalid sequence, or -1.
    qsizetype decode(QByteArrayView bytes, std::vector<char32_t> *codePoints) const;
};

} // namespace Sort
