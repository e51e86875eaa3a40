#include "window_texts.h"

#include "logon_messages.h"

namespace portauth::ui::texts {

const std::u16string_view caption = u"Lanbridge 802.1x Util for Windows 64";

// The line breaks fall where a line fills 55 cells (a Chinese character or
// full-width mark takes two); the leading spaces indent the paragraphs.
// PORTAUTH_REGISTRATION_URL is set at configure time.
const std::u16string_view instructions =
    u"    启动\"Wireless Configuration\"服务(默认会自动启动)，\r\n"
    u"在网络连接属性里面的“身份验证”标签中，选中“启用 IEEE \r\n"
    u"802.1x”，下面的下拉框中选择“MD5-Challenge”，并把下面\r\n"
    u"的两个选择框的钩都去掉（不使用那些功能）。\r\n"
    u"    当下次网络连接上的时候（可以通过拔插网线强制刷新网\r\n"
    u"络连接），Windows会出现一个对话窗让你输入登录信息。这些\r\n"
    u"信息通过以下程序生成。\r\n"
    u"    802.1x端口认证通过后，您可以去 \r\n"
    u"           " PORTAUTH_REGISTRATION_URL u" \r\n"
    u"    打开对外的联网权限。\r\n"
    u"    注意，为了安全，请不要使用开放国际流量的联网！\r\n";

const std::u16string_view title = u"使用 Windows 自带的802.1x端口认证登录网络";
const std::u16string_view inputsHeading = u"您的网络相关信息：";
const std::u16string_view outputsHeading = u"在Windows802.1x登陆对话窗中所需填写的信息：";
const std::u16string_view userNameCaption = u"用户名:";
const std::u16string_view ipCaption = u"IP:";
const std::u16string_view passwordCaption = u"密码:";
const std::u16string_view domainCaption = u"登陆域:";
const std::u16string_view logonFieldPrefix = u"登陆";

const std::u16string_view passwordTooLong = kPasswordTooLongText;
const std::u16string_view settingsUnreadable = u"无法读取上次保存的用户名和 IP 地址。";
const std::u16string_view settingsUnwritable =
    u"无法保存用户名和 IP 地址。本次输入仍然有效，但下次启动时不会被记住。";
const std::u16string_view clipboardUnavailable = u"无法写入剪贴板，它可能正被其他程序占用。请稍后再按 Ctrl+C。";
const std::u16string_view unexpectedError = u"发生意外错误。";
const std::u16string_view errorDetailsOpen = u"（错误 ";
const std::u16string_view errorDetailsColon = u"：";
const std::u16string_view errorDetailsClose = u"）";
const std::u16string_view cannotRead = u"无法读取 ";
const std::u16string_view cannotWrite = u"无法写入 ";
const std::u16string_view overflow = u"溢出";
const std::u16string_view subscriptOutOfRange = u"下标越界";
const std::u16string_view clipboardHeld = u"剪贴板正被其他程序占用";

} // namespace portauth::ui::texts
