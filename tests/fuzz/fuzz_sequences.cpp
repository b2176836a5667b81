// SPDX-License-Identifier: MIT
// The stroke sequences file as a damaged or hostile copy may hold it:
// loading either refuses it with a message or gives entries that keep the
// file's promises, each character once at its line's place, in stroke
// order.
#include "runtimeerror.h"
#include "strokesequences.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// The refusal names what to do, which asks where the program lies.
QCoreApplication &application()
{
    static int argc = 1;
    static char name[] = "fuzz_sequences";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    application();
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Refcom-sequences.txt"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    StrokeSequences sequences;
    try {
        sequences.load(path);
    } catch (const RuntimeError &) {
        return 0;
    }
    std::size_t strokes = 0;
    std::string_view last;
    for (qint32 i = 0; i < qint32(sequences.size()); ++i) {
        if (sequences.position(sequences.codePointAt(i)) != i)
            fail("a character is not at its line's place");
        const std::string_view sequence = sequences.sequenceAt(i);
        if (sequence.empty())
            continue;
        if (!StrokeSequences::isSequence(sequence))
            fail("a sequence holds more than strokes");
        if (sequence.size() < strokes || (sequence.size() == strokes && sequence < last))
            fail("the lines leave stroke order");
        strokes = sequence.size();
        last = sequence;
    }
    return 0;
}
