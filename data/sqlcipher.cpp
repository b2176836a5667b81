// SPDX-License-Identifier: MIT
#include "sqlcipher.h"

#include <QVariant>

#include <sqlite3.h>

namespace data {

int setUpCipher(sqlite3 *db, const Cipher &cipher)
{
    const QByteArray key = cipher.key.toUtf8();
    int rc = sqlite3_key(db, key.constData(), int(key.size()));
    const std::pair<const char *, int> settings[] = {
        {"PRAGMA kdf_iter = ", cipher.kdfIterations},
        {"PRAGMA cipher_page_size = ", cipher.pageSize},
    };
    for (const auto &[pragma, value] : settings) {
        if (rc != SQLITE_OK || value == 0)
            continue;
        const QByteArray statement = pragma + QByteArray::number(value);
        rc = sqlite3_exec(db, statement.constData(), nullptr, nullptr, nullptr);
    }
    return rc;
}

int bindValue(sqlite3_stmt *statement, int position, const QVariant &value)
{
    if (value.isNull())
        return sqlite3_bind_null(statement, position);
    switch (value.typeId()) {
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_blob(statement, position, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(statement, position, value.toLongLong());
    case QMetaType::Double:
        return sqlite3_bind_double(statement, position, value.toDouble());
    default: {
        const QByteArray text = value.toString().toUtf8();
        return sqlite3_bind_text(statement, position, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    }
}

} // namespace data
