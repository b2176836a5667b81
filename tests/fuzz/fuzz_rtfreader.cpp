// SPDX-License-Identifier: MIT
// The RTF reader over arbitrary bytes, then the document it fills.
#include "rtfreader.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Formats carry fonts, and fonts need the application object.
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the decoder, so both get explored.
    const Cp936Decoding decoding = data[0] & 1 ? Cp936Decoding::Table : Cp936Decoding::Automatic;
    const QByteArrayView rtf(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    const RtfDocument document = readRtf(rtf, decoding);
    check(!document.paragraphs.isEmpty(), "a document without a paragraph");
    qsizetype units = 0;
    for (const RtfParagraph &paragraph : document.paragraphs)
        units += paragraph.text().size();
    // No construct yields more text than it takes bytes to write.
    check(units <= rtf.size(), "more text than input");
    check(document.paragraphs.size() <= rtf.size() + 1, "more paragraphs than input");

    QTextDocument text;
    fillDocument(text, document);
    check(text.blockCount() >= document.paragraphs.size(), "paragraphs lost in the document");
    return 0;
}
