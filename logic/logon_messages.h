#pragma once

#include <string_view>

namespace portauth {

// What every front end says when MD5String raises error 6 (the password's
// GBK bytes exceed one digest update). Kept free of any toolkit so that the
// window and the command line show the same words.
inline constexpr std::u16string_view kPasswordTooLongText =
    u"密码太长：按 GBK 编码超过 32767 个字节，无法计算登录密码。请缩短密码。";

} // namespace portauth
