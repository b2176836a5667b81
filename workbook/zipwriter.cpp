// SPDX-License-Identifier: MIT
#include "zipwriter.h"

#include "runtimeerror.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QIODevice>
#include <QList>
#include <QThread>

#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <future>
#include <limits>
#include <system_error>

namespace Workbook {

namespace {

// Pieces smaller than this are not worth a thread of their own.
constexpr qsizetype smallestPiece = qsizetype(1) << 20;
// What zlib takes in one call.
constexpr qsizetype largestChunk = qsizetype(1) << 30;
// What zip's headers hold without the zip64 extension.
constexpr qsizetype largestPlainPart = std::numeric_limits<quint32>::max() - 1;
constexpr int rawDeflate = -MAX_WBITS;
constexpr int defaultMemoryLevel = 8;

[[noreturn]] void fail()
{
    throw RuntimeError(QCoreApplication::translate("Workbook", "工作簿没有写成：压缩时出错。"));
}

// minizip's file functions over a QIODevice, which the caller opened.
voidpf openDevice(voidpf device, const void *, int) { return device; }
uLong readDevice(voidpf, voidpf device, void *buffer, uLong size)
{
    const qint64 read = static_cast<QIODevice *>(device)->read(static_cast<char *>(buffer), qint64(size));
    return read < 0 ? 0 : uLong(read);
}
uLong writeDevice(voidpf, voidpf device, const void *buffer, uLong size)
{
    const qint64 written = static_cast<QIODevice *>(device)->write(static_cast<const char *>(buffer), qint64(size));
    return written < 0 ? 0 : uLong(written);
}
ZPOS64_T tellDevice(voidpf, voidpf device) { return ZPOS64_T(static_cast<QIODevice *>(device)->pos()); }
long seekDevice(voidpf, voidpf device, ZPOS64_T offset, int origin)
{
    auto *io = static_cast<QIODevice *>(device);
    qint64 base = 0;
    if (origin == ZLIB_FILEFUNC_SEEK_CUR)
        base = io->pos();
    else if (origin == ZLIB_FILEFUNC_SEEK_END)
        base = io->size();
    return io->seek(base + qint64(offset)) ? 0 : -1;
}
int closeDevice(voidpf, voidpf) { return 0; }
int deviceError(voidpf, voidpf) { return 0; }

struct Piece
{
    QByteArray deflated;
    uLong crc = 0;
    qsizetype size = 0;
};

void setInput(z_stream &stream, QByteArrayView bytes, qsizetype &at)
{
    const qsizetype chunk = std::min(bytes.size() - at, largestChunk);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data() + at));
    stream.avail_in = uInt(chunk);
    at += chunk;
}

// BYTES as raw deflate. All but the last piece end on a byte boundary
// without closing the stream, so the pieces joined are one stream.
Piece deflatePiece(QByteArrayView bytes, bool last)
{
    z_stream stream = {};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, rawDeflate, defaultMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        fail();
    Piece piece;
    piece.size = bytes.size();
    piece.crc = crc32_z(0, reinterpret_cast<const Bytef *>(bytes.data()), z_size_t(bytes.size()));
    // deflateBound's room, and the flush's marker: the output never runs
    // out of room.
    constexpr qsizetype flushMarker = 16;
    piece.deflated.resize(qsizetype(deflateBound(&stream, uLong(bytes.size()))) + flushMarker);
    qsizetype at = 0;
    int result = Z_OK;
    do {
        setInput(stream, bytes, at);
        const int flush = at < bytes.size() ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
        while (result == Z_OK && (stream.avail_in > 0 || flush != Z_NO_FLUSH)) {
            const qsizetype room = piece.deflated.size() - qsizetype(stream.total_out);
            stream.next_out = reinterpret_cast<Bytef *>(piece.deflated.data() + stream.total_out);
            stream.avail_out = uInt(std::min(room, largestChunk));
            result = deflate(&stream, flush);
            if (flush == Z_SYNC_FLUSH && stream.avail_in == 0 && stream.avail_out > 0)
                break;
        }
    } while (result == Z_OK && at < bytes.size());
    const bool done = last ? result == Z_STREAM_END : result == Z_OK && stream.avail_in == 0;
    piece.deflated.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    if (!done)
        fail();
    return piece;
}

// The pieces SOURCE makes, each made and deflated on a thread of its own.
QList<Piece> deflatePieces(qsizetype count, const ZipWriter::PieceSource &source)
{
    const auto make = [&source, count](qsizetype i) { return deflatePiece(source(i), i == count - 1); };
    std::vector<std::future<Piece>> others;
    for (qsizetype i = 1; i < count; ++i) {
        try {
            others.push_back(std::async(std::launch::async, make, i));
        } catch (const std::system_error &) {
            // No thread to be had: the piece is made on this one.
            others.push_back(std::async(std::launch::deferred, make, i));
        }
    }
    QList<Piece> pieces = {make(0)};
    for (std::future<Piece> &other : others)
        pieces.append(other.get());
    return pieces;
}

zip_fileinfo now()
{
    const QDateTime time = QDateTime::currentDateTime();
    zip_fileinfo info = {};
    info.tmz_date.tm_year = uInt(time.date().year());
    info.tmz_date.tm_mon = uInt(time.date().month() - 1);
    info.tmz_date.tm_mday = uInt(time.date().day());
    info.tmz_date.tm_hour = uInt(time.time().hour());
    info.tmz_date.tm_min = uInt(time.time().minute());
    info.tmz_date.tm_sec = uInt(time.time().second());
    return info;
}

} // namespace

void ZipWriter::ZipCloser::operator()(void *zip) const
{
    zipClose(zip, nullptr);
}

ZipWriter::ZipWriter(QIODevice *device)
{
    zlib_filefunc64_def functions = {openDevice, readDevice, writeDevice, tellDevice,
                                     seekDevice, closeDevice, deviceError, device};
    m_zip.reset(zipOpen2_64(device, APPEND_STATUS_CREATE, nullptr, &functions));
    if (!m_zip)
        fail();
}

ZipWriter::~ZipWriter() = default;

qsizetype ZipWriter::pieceCount()
{
    return std::max(1, QThread::idealThreadCount());
}

void ZipWriter::add(const char *name, QByteArrayView bytes)
{
    const qsizetype count = std::clamp<qsizetype>(bytes.size() / smallestPiece, 1, pieceCount());
    const qsizetype length = (bytes.size() + count - 1) / count;
    addPieces(name, count, [bytes, length](qsizetype i) {
        const qsizetype from = std::min(i * length, bytes.size());
        return QByteArray::fromRawData(bytes.data() + from, std::min(length, bytes.size() - from));
    });
}

void ZipWriter::addPieces(const char *name, qsizetype count, const PieceSource &source)
{
    const QList<Piece> pieces = deflatePieces(count, source);
    uLong crc = pieces.first().crc;
    qsizetype size = pieces.first().size;
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        crc = crc32_combine64(crc, pieces[i].crc, z_off64_t(pieces[i].size));
        size += pieces[i].size;
    }
    const zip_fileinfo info = now();
    const int zip64 = size > largestPlainPart ? 1 : 0;
    if (zipOpenNewFileInZip3_64(m_zip.get(), name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_DEFAULT_COMPRESSION, 1, rawDeflate, defaultMemoryLevel, Z_DEFAULT_STRATEGY,
                                nullptr, 0, zip64)
        != ZIP_OK)
        fail();
    for (const Piece &piece : pieces) {
        for (qsizetype at = 0; at < piece.deflated.size(); at += largestChunk) {
            const qsizetype chunk = std::min(largestChunk, piece.deflated.size() - at);
            if (zipWriteInFileInZip(m_zip.get(), piece.deflated.constData() + at, unsigned(chunk)) != ZIP_OK)
                fail();
        }
    }
    if (zipCloseFileInZipRaw64(m_zip.get(), ZPOS64_T(size), crc) != ZIP_OK)
        fail();
}

void ZipWriter::addStored(const char *name, QByteArrayView bytes)
{
    const zip_fileinfo info = now();
    if (zipOpenNewFileInZip(m_zip.get(), name, &info, nullptr, 0, nullptr, 0, nullptr, 0, 0) != ZIP_OK
        || zipWriteInFileInZip(m_zip.get(), bytes.data(), unsigned(bytes.size())) != ZIP_OK
        || zipCloseFileInZip(m_zip.get()) != ZIP_OK)
        fail();
}

void ZipWriter::close()
{
    const int result = zipClose(m_zip.release(), nullptr);
    if (result != ZIP_OK)
        fail();
}

} // namespace Workbook
