#include "logon_rules.h"

#include <algorithm>

#include "cmd5.h"

namespace portauth {
namespace {

std::u16string_view trimSpaces(std::u16string_view text)
{
    const auto first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos)
        return {};
    const auto last = text.find_last_not_of(u' ');
    return text.substr(first, last - first + 1);
}

} // namespace

std::u16string LogonUserName(std::u16string_view account, std::u16string_view ip)
{
    const auto name = trimSpaces(account);
    const auto address = trimSpaces(ip);
    std::u16string result;
    result.reserve(name.size() + 1 + address.size());
    result.append(name).append(1, u'@').append(address);
    return result;
}

std::string MD5String(std::u16string_view S)
{
    CMD5 digest;
    std::string text = digest.Md5_String_Calc(S);
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return text;
}

} // namespace portauth
