// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <memory>

class QIODevice;

// A package's parts written as a zip to a device. A large part is deflated
// in pieces on all cores at once, the pieces joined into one stream.
namespace Workbook {

class ZipWriter
{
public:
    // Throws RuntimeError when the zip cannot be begun on DEVICE.
    explicit ZipWriter(QIODevice *device);
    ~ZipWriter();
    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;

    // NAME is the part's path inside the zip, in ASCII.
    void add(const char *name, QByteArrayView bytes);
    // A part made in COUNT pieces, SOURCE(i) making the i-th, each made on
    // a thread of its own; what SOURCE throws is thrown here.
    using PieceSource = std::function<QByteArray(qsizetype)>;
    void addPieces(const char *name, qsizetype count, const PieceSource &source);
    // How many pieces keep every core busy.
    static qsizetype pieceCount();
    // A part kept as it is, as an OpenDocument file's "mimetype" must be.
    void addStored(const char *name, QByteArrayView bytes);
    // Writes the zip's directory; throws RuntimeError where it cannot.
    void close();

private:
    struct ZipCloser
    {
        void operator()(void *zip) const;
    };
    std::unique_ptr<void, ZipCloser> m_zip;
};

} // namespace Workbook
