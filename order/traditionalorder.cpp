// SPDX-License-Identifier: MIT
#include "traditionalorder.h"

#include <QChar>
#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

TraditionalOrder::TraditionalOrder()
{
    auto *ranks = static_cast<Rank *>(std::calloc(codePointLimit, sizeof(Rank)));
    if (!ranks)
        throw std::bad_alloc();
    m_ranks.reset(ranks);

    // Taiwan's locale: stroke order is its default collation in ICU.
    const QCollator collator(QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan));
    std::vector<std::pair<QCollatorSortKey, char32_t>> han;
    for (char32_t codePoint = 0; codePoint < codePointLimit; ++codePoint) {
        if (QChar::script(codePoint) == QChar::Script_Han)
            han.emplace_back(collator.sortKey(QString::fromUcs4(&codePoint, 1)), codePoint);
    }
    std::sort(han.begin(), han.end(), [](const auto &a, const auto &b) {
        const int order = a.first.compare(b.first);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    Rank next = 1;
    for (const auto &[key, codePoint] : han)
        m_ranks[codePoint] = next++;
    m_otherBase = next;
}
