#include "messages.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "logon_messages.h"
#include "utf8.h"

namespace portauth::cli {
namespace {

struct Text {
    Problem problem;
    bool usage; // a mistake in the command line rather than a failure
    std::string_view english; // "%s" stands for the detail
    std::string_view chinese;
};

constexpr std::array kTexts{
    Text{Problem::UnknownOption, true, "unknown option '%s'", "未知选项“%s”"},
    Text{Problem::MissingValue, true, "option '%s' needs a value", "选项“%s”需要一个值"},
    Text{Problem::UnknownCommand, true, "unknown command '%s'", "未知命令“%s”"},
    Text{Problem::MissingCommand, true, "no command given", "未指定命令"},
    Text{Problem::UnexpectedArgument, true, "unexpected argument '%s'", "多余的参数“%s”"},
    Text{Problem::OptionNotForCommand, true, "option '%s' does not belong to this command",
         "选项“%s”不适用于此命令"},
    Text{Problem::PasswordOnCommandLine, true,
         "the password is never taken from the command line, where other users can see it; "
         "type it when asked, or pipe it in with --password-stdin",
         "密码不从命令行读取（其他用户能看到命令行）；请在提示时输入，或用 --password-stdin 从标准输入传入"},
    Text{Problem::BadInterfaceName, true, "'%s' is not a network interface name", "“%s”不是网络接口名"},
    Text{Problem::InvalidUtf8, true, "the value of %s is not valid UTF-8 text", "%s 的值不是有效的 UTF-8 文本"},
    Text{Problem::PasswordNotUtf8, false, "the password is not valid UTF-8 text", "密码不是有效的 UTF-8 文本"},
    Text{Problem::NoTerminal, false, "no terminal to ask for the password; use --password-stdin",
         "没有可用于输入密码的终端；请使用 --password-stdin"},
    Text{Problem::PasswordUnreadable, false, "cannot read the password: %s", "无法读取密码：%s"},
    Text{Problem::PasswordTooLong, false,
         "Password too long: more than 32767 bytes in GBK, the logon password cannot be computed. "
         "Please shorten the password. (error 6)",
         {}}, // the window's own words, see Describe
    Text{Problem::StoreUnreadable, false,
         "cannot read the remembered account name and IP address (%s); give --account and --ip",
         "无法读取上次保存的用户名和 IP 地址（%s）；请用 --account 和 --ip 指定"},
    Text{Problem::NmcliMissing, false,
         "nmcli was not found: install NetworkManager, or write a keyfile with --keyfile",
         "找不到 nmcli：请安装 NetworkManager，或用 --keyfile 写入连接文件"},
    Text{Problem::NetworkManagerNotRunning, false,
         "NetworkManager is not running: start it, or write a keyfile with --keyfile",
         "NetworkManager 未运行：请启动它，或用 --keyfile 写入连接文件"},
    Text{Problem::ConnectionNotWritten, false, "cannot write the connection: %s", "无法写入连接：%s"},
    Text{Problem::IdentityNotUtf8, false,
         "the user name '%s' is not plain ASCII: the network expects it in GBK, which NetworkManager "
         "cannot send; use the wpa-supplicant command instead",
         "用户名“%s”含非 ASCII 字符：网络要求 GBK 编码，NetworkManager 无法发送；请改用 wpa-supplicant 命令"},
    Text{Problem::OutputFailed, false, "cannot write the output: %s", "无法写出结果：%s"},
    Text{Problem::Unexpected, false, "unexpected error: %s", "发生意外错误：%s"},
};

const Text& textOf(Problem problem)
{
    return *std::find_if(kTexts.begin(), kTexts.end(), [&](const Text& text) { return text.problem == problem; });
}

constexpr std::string_view kEnglishHelp = R"(Usage: portauth-cli [OPTIONS] COMMAND [COMMAND OPTIONS]

Derives the 802.1X EAP-MD5 logon values from your account name, IP address and
password, and hands them to a supplicant.

Commands:
  derive [--json]            print user name, password and domain, one a line
                             (--json: as one JSON object)
  wpa-supplicant [--interface IF]
                             print a wired wpa_supplicant configuration
)"
#ifndef _WIN32
                                          R"(  networkmanager [--connection NAME] [--interface IF] [--keyfile PATH]
                             create or update a wired NetworkManager connection
                             (default name "PortAuth 802.1X") through nmcli, or
                             write it as a keyfile (mode 600) to PATH
)"
#endif
                                          R"(
Options:
  --account A         account name (default: the one the window remembers)
  --ip I              IP address (default: the one the window remembers)
  --password-stdin    read the password as one line from standard input
                      (default: ask on the terminal, without echo)
  -h, --help          show this help

The password is never taken from the command line. Only the derived password
is written to a configuration; your own password never is.
)";

constexpr std::string_view kChineseHelp = R"(用法：portauth-cli [选项] 命令 [命令选项]

由账号、IP 地址和密码计算 802.1X EAP-MD5 登录信息，并交给认证客户端使用。

命令：
  derive [--json]            输出用户名、密码和登录域，每行一项
                             （--json：输出为一个 JSON 对象）
  wpa-supplicant [--interface 接口]
                             输出有线网络的 wpa_supplicant 配置
)"
#ifndef _WIN32
                                          R"(  networkmanager [--connection 名称] [--interface 接口] [--keyfile 路径]
                             通过 nmcli 创建或更新 NetworkManager 有线连接
                             （默认名称 "PortAuth 802.1X"），或将其写为
                             连接文件（权限 600）
)"
#endif
                                          R"(
选项：
  --account 账号      账号（默认：窗口程序记住的账号）
  --ip 地址           IP 地址（默认：窗口程序记住的 IP 地址）
  --password-stdin    从标准输入读取一行作为密码
                      （默认：在终端提示输入，不回显）
  -h, --help          显示本帮助

密码从不从命令行读取。写入配置的只有计算出的登录密码，您本人的密码从不写入。
)";

} // namespace

Language LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang)
{
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value != nullptr && *value != '\0')
            return std::string_view(value).starts_with("zh_CN") ? Language::Chinese : Language::English;
    }
    return Language::English;
}

bool IsUsageError(Problem problem)
{
    return textOf(problem).usage;
}

std::string Describe(const CliError& error, Language language)
{
    const bool chinese = language == Language::Chinese;
    const std::string_view text = chinese ? textOf(error.problem()).chinese : textOf(error.problem()).english;
    std::string line = chinese ? "portauth-cli：" : "portauth-cli: ";
    if (chinese && error.problem() == Problem::PasswordTooLong)
        return line + ToUtf8(kPasswordTooLongText) + "（错误 6）";
    const auto slot = text.find("%s");
    if (slot == std::string_view::npos)
        line.append(text);
    else
        line.append(text.substr(0, slot)).append(error.what()).append(text.substr(slot + 2));
    if (IsUsageError(error.problem()))
        line.append(chinese ? "（参见 portauth-cli --help）" : " (see portauth-cli --help)");
    return line;
}

std::string HelpText(Language language)
{
    return std::string(language == Language::Chinese ? kChineseHelp : kEnglishHelp);
}

} // namespace portauth::cli
