// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// How a list of names is ordered. 姓氏 and 姓名 are the two conventions of
// published lists in simplified characters (按姓氏笔画, 按姓名笔画); 繁體
// is the order of lists in traditional characters.
enum class NameRule {
    // As FullName, except that a name of exactly two characters reads as
    // surname, an empty place before every character, given name: 王毅
    // before 王沪宁.
    Surname,
    // Character by character, as a dictionary orders words: 田大利 before
    // 田富.
    FullName,
    // The Traditional Chinese stroke collation of the system's ICU,
    // character by character.
    Traditional,
};

// 姓氏 or surname, 姓名 or name, 繁體, 繁体 or traditional (Latin letters in
// any case); nothing for any other.
std::optional<NameRule> nameRuleFromName(QStringView name);

// "姓氏", "姓名" or "繁體": what nameRuleFromName reads back.
QString nameRuleName(NameRule rule);
