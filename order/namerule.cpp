// SPDX-License-Identifier: MIT
#include "namerule.h"

using namespace Qt::StringLiterals;

namespace {

struct Spelling
{
    QStringView name;
    NameRule rule;
};

constexpr Spelling spellings[] = {
    {u"姓氏", NameRule::Surname},     {u"surname", NameRule::Surname},
    {u"姓名", NameRule::FullName},    {u"name", NameRule::FullName},
    {u"繁體", NameRule::Traditional}, {u"繁体", NameRule::Traditional},
    {u"traditional", NameRule::Traditional},
};

} // namespace

std::optional<NameRule> nameRuleFromName(QStringView name)
{
    for (const Spelling &spelling : spellings) {
        if (name.compare(spelling.name, Qt::CaseInsensitive) == 0)
            return spelling.rule;
    }
    return std::nullopt;
}

QString nameRuleName(NameRule rule)
{
    switch (rule) {
    case NameRule::Surname:
        return u"姓氏"_s;
    case NameRule::FullName:
        return u"姓名"_s;
    case NameRule::Traditional:
        return u"繁體"_s;
    }
    return {};
}
