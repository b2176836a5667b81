// SPDX-License-Identifier: MIT
#include "replacedfile.h"

#include "messages.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/xattr.h>

#include <cstring>
#include <vector>
#endif

namespace CommandLine {

namespace {

// As many links as QSaveFile follows before it gives up.
constexpr int maxLinks = 128;

#ifdef Q_OS_LINUX
// Each name of the NUL-separated LIST, its value read from PATH and set on
// DESCRIPTOR. An attribute the caller may not set (a trusted one, say, or
// one the new file's system lacks) stays behind rather than stop the write.
void copyAttributes(const QByteArray &path, int descriptor)
{
    const ssize_t listSize = listxattr(path.constData(), nullptr, 0);
    if (listSize <= 0)
        return;
    std::vector<char> names(static_cast<std::size_t>(listSize));
    const ssize_t got = listxattr(path.constData(), names.data(), names.size());
    if (got <= 0)
        return;
    std::vector<char> value;
    for (const char *name = names.data(); name < names.data() + got; name += std::strlen(name) + 1) {
        const ssize_t size = getxattr(path.constData(), name, nullptr, 0);
        if (size < 0)
            continue;
        value.resize(std::size_t(size));
        const ssize_t read = getxattr(path.constData(), name, value.data(), value.size());
        if (read >= 0)
            fsetxattr(descriptor, name, value.data(), std::size_t(read), 0);
    }
}
#endif

} // namespace

QString replaceableTarget(const QString &path, QString *problem)
{
    const auto refuse = [problem](const QString &name) {
        *problem = Messages::tr("-o 要一个普通文件，“%1”却是文件夹、设备、管道或套接字；没有写入任何文件。"
                                "要写到标准输出，请不给 -o。")
                           .arg(QDir::toNativeSeparators(name));
        return QString();
    };
    // Seen through all its links at once first: a link to a descriptor,
    // such as /dev/stdout, names no file that a path could be followed to.
    if (const QFileInfo named(path); named.exists() && !named.isFile())
        return refuse(path);
    QFileInfo info(path);
    for (int links = 0; info.isSymLink(); ++links) {
        if (links == maxLinks) {
            *problem = Messages::tr("“%1”是循环的符号链接，没有写入任何文件。").arg(QDir::toNativeSeparators(path));
            return {};
        }
        info.setFile(info.symLinkTarget());
    }
    if (info.exists() && !info.isFile())
        return refuse(info.filePath());
    return info.filePath();
}

void keepAttributes(QSaveFile &file, const QString &target)
{
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(target);
    struct stat old = {};
    const int descriptor = file.handle();
    if (descriptor < 0 || stat(path.constData(), &old) != 0)
        return;
    // A caller who may not give the file away keeps it; a group it is not
    // in is refused alone, so each is tried on its own.
    if (fchown(descriptor, old.st_uid, old.st_gid) != 0 && fchown(descriptor, old.st_uid, gid_t(-1)) != 0)
        static_cast<void>(fchown(descriptor, uid_t(-1), old.st_gid));
    // After the owner: giving a file away clears its set-ID bits.
    static_cast<void>(fchmod(descriptor, old.st_mode & (S_ISUID | S_ISGID | S_ISVTX | S_IRWXU | S_IRWXG | S_IRWXO)));
#ifdef Q_OS_LINUX
    copyAttributes(path, descriptor);
#endif
#else
    Q_UNUSED(file);
    Q_UNUSED(target);
#endif
}

} // namespace CommandLine
