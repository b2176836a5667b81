// SPDX-License-Identifier: MIT
#include "outputfiles.h"

#include "runtimeerror.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

// As many links as QSaveFile follows before it gives up.
constexpr int maxLinks = 128;

} // namespace

QString OutputFiles::target(const QString &path)
{
    QFileInfo info(path);
    for (int links = 0; info.isSymLink(); ++links) {
        if (links == maxLinks)
            throw RuntimeError(u"“%1”是循环的符号链接，没有写入任何文件。"_s.arg(QDir::toNativeSeparators(path)));
        info.setFile(info.symLinkTarget());
    }
    if (info.exists() && !info.isFile())
        throw RuntimeError(u"“%1”不是普通文件（而是文件夹、设备或管道），不能用新文件替换；没有写入任何文件。"
                           "请指定一个普通文件或新的文件名。"_s.arg(QDir::toNativeSeparators(info.filePath())));
    return info.filePath();
}

QSaveFile &OutputFiles::open(const QString &path)
{
    auto file = std::make_unique<QSaveFile>(target(path));
    errno = 0;
    if (!file->open(QIODevice::WriteOnly))
        throw RuntimeError(writeFailure(file->fileName(), errno, file->errorString()));
    m_files.push_back(std::move(file));
    return *m_files.back();
}

void OutputFiles::add(const QString &path, const QByteArray &bytes)
{
    QSaveFile &file = open(path);
    errno = 0;
    if (file.write(bytes) != bytes.size())
        throw RuntimeError(writeFailure(file.fileName(), errno, file.errorString()));
}

void OutputFiles::commit()
{
    for (const auto &file : m_files) {
        errno = 0;
        if (!file->flush())
            throw RuntimeError(writeFailure(file->fileName(), errno, file->errorString()));
    }
    for (const auto &file : m_files) {
        errno = 0;
        if (!file->commit())
            throw RuntimeError(writeFailure(file->fileName(), errno, file->errorString()));
    }
    m_files.clear();
}

QString writeFailure(const QString &name, int error, const QString &detail)
{
    const QString system = error == 0 ? u"原因不明"_s : QString::fromLocal8Bit(std::strerror(error));
    QString reason = detail.isEmpty() ? system : detail;
    if (error == ENOSPC)
        reason = u"磁盘空间不足（%1）"_s.arg(system);
    return u"无法写入“%1”：%2。"_s.arg(QDir::toNativeSeparators(name), reason);
}
