#include "messages.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "logon_messages.h"
#include "plain_text.h"
#include "utf8.h"

namespace portauth::cli {
namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2; // a mistake in the command line rather than a failure
// A run cancelled by a signal ends as the shell counts a death by it.
constexpr int kHungUp = 128 + 1;
constexpr int kInterrupted = 128 + 2;
constexpr int kTerminated = 128 + 15;

struct Text {
    Problem problem;
    int exitCode;
    std::string_view english; // "%s" stands for the detail
    std::string_view chinese;
    std::string_view outcome = "error"; // connect --json names it so
};

constexpr std::array kTexts{
    Text{Problem::UnknownOption, kUsage, "unknown option '%s'", "未知选项“%s”"},
    Text{Problem::MissingValue, kUsage, "option '%s' needs a value", "选项“%s”需要一个值"},
    Text{Problem::UnknownCommand, kUsage, "unknown command '%s'", "未知命令“%s”"},
    Text{Problem::MissingCommand, kUsage, "no command given", "未指定命令"},
    Text{Problem::UnexpectedArgument, kUsage, "unexpected argument '%s'", "多余的参数“%s”"},
    Text{Problem::OptionNotForCommand, kUsage, "option '%s' does not belong to this command",
         "选项“%s”不适用于此命令"},
    Text{Problem::PasswordOnCommandLine, kUsage,
         "the password is never taken from the command line, where other users can see it; "
         "type it when asked, or pipe it in with --password-stdin",
         "密码不从命令行读取（其他用户能看到命令行）；请在提示时输入，或用 --password-stdin 从标准输入传入"},
    Text{Problem::BadInterfaceName, kUsage, "'%s' is not a network interface name", "“%s”不是网络接口名"},
    Text{Problem::BadTimeout, kUsage, "'%s' is not a number of seconds from 1 to 3600",
         "“%s”不是 1 到 3600 之间的秒数"},
    Text{Problem::InvalidUtf8, kUsage, "the value of %s is not valid UTF-8 text", "%s 的值不是有效的 UTF-8 文本"},
    Text{Problem::NotPlainText, kUsage, "%s holds control characters or is not UTF-8 text",
         "%s 含有控制字符或不是 UTF-8 文本"},
    Text{Problem::PasswordNotUtf8, kFailure, "the password is not valid UTF-8 text", "密码不是有效的 UTF-8 文本"},
    Text{Problem::PasswordNotInCodePage, kFailure,
         "the password is not valid text in code page %s; for UTF-8 use --stdin-utf8",
         "密码不是代码页 %s 中的有效文本；UTF-8 输入请用 --stdin-utf8"},
    Text{Problem::NoTerminal, kFailure, "no terminal to ask for the password; use --password-stdin",
         "没有可用于输入密码的终端；请使用 --password-stdin"},
    Text{Problem::PasswordUnreadable, kFailure, "cannot read the password: %s", "无法读取密码：%s"},
    Text{Problem::PasswordMissing, kFailure, "no password was read", "未读到密码"},
    Text{Problem::PasswordEmpty, kFailure, "the password is empty", "密码为空"},
    Text{Problem::PasswordHasNul, kFailure,
         "the password holds a NUL byte, which no keyboard types: is the input UTF-16? Pipe it in as UTF-8",
         "密码中含有 NUL 字节（键盘无法输入）：输入是否为 UTF-16？请以 UTF-8 传入"},
    Text{Problem::PasswordTooLong, kFailure,
         "Password too long: more than 32767 bytes in GBK, the logon password cannot be computed. "
         "Please shorten the password. (error 6)",
         {}}, // the window's own words, see Describe
    Text{Problem::StoreUnreadable, kFailure,
         "cannot read the remembered account name and IP address (%s); give --account and --ip",
         "无法读取上次保存的用户名和 IP 地址（%s）；请用 --account 和 --ip 指定"},
    Text{Problem::NoAccount, kFailure, "no account name: none is remembered; give --account",
         "没有账号：未保存账号；请用 --account 指定"},
    Text{Problem::IdentityTooLong, kFailure,
         "the user name is %s bytes long; an 802.1X logon carries at most 253",
         "用户名长 %s 字节；802.1X 登录最多只能携带 253 字节"},
    Text{Problem::NetworkManagerNotRunning, kNetworkManagerNotRunning, "NetworkManager is not running",
         "NetworkManager 未运行", "networkmanager-not-running"},
    Text{Problem::NetworkManagerSilent, kTimedOut, "NetworkManager did not answer within %s seconds",
         "NetworkManager 在 %s 秒内没有应答", "timeout"},
    Text{Problem::NoSuchDevice, kDeviceUnavailable, "there is no network device %s", "没有名为 %s 的网络设备",
         "device-unavailable"},
    Text{Problem::NotEthernet, kDeviceUnavailable, "%s is not an Ethernet device (NetworkManager's type: %s)",
         "%s 不是以太网设备（NetworkManager 的类型：%s）", "device-unavailable"},
    Text{Problem::DeviceUnmanaged, kDeviceUnavailable,
         "NetworkManager does not manage %s: another program may own it (/etc/network/interfaces, "
         "systemd-networkd); for such a device use portauth-cli wpa-supplicant",
         "NetworkManager 不管理 %s：它可能归其他程序所有（/etc/network/interfaces、systemd-networkd）；"
         "此类设备请用 portauth-cli wpa-supplicant",
         "device-unavailable"},
    Text{Problem::NoEthernetDevice, kDeviceUnavailable, "NetworkManager manages no Ethernet device",
         "NetworkManager 没有管理任何以太网设备", "device-unavailable"},
    Text{Problem::SeveralDevices, kUsage, "more than one Ethernet device could be meant (%s); choose one with --interface",
         "有多个以太网设备（%s）；请用 --interface 指定一个"},
    Text{Problem::ProfileNotUnique, kFailure,
         "more than one profile is named \"%s\" (%s); give another name with --connection, or delete all but one",
         "有多个名为“%s”的连接（%s）；请用 --connection 换一个名称，或只保留其中一个"},
    Text{Problem::ProfileNotWired, kFailure, "the profile \"%s\" is not a wired connection; it is left as it was",
         "连接“%s”不是有线连接，未作改动"},
    Text{Problem::SecretsUnreadable, kFailure,
         "cannot read the profile's earlier password, which a failed logon would restore; nothing was changed: %s",
         "无法读取连接原有的密码（登录失败时需要恢复它），因此未作任何改动：%s"},
    Text{Problem::ConnectionNotWritten, kFailure, "cannot write the connection: %s", "无法写入连接：%s"},
    Text{Problem::ConnectionNotActivated, kFailure, "the connection did not come up: %s", "连接未能建立：%s"},
    Text{Problem::PasswordRefused, kPasswordRefused, "the network refused the password on %s",
         "网络在 %s 上拒绝了密码", "password-refused"},
    Text{Problem::NoAuthenticator, kNoAuthenticator, "no authenticator answered on %s",
         "%s 上没有认证服务器应答", "no-authenticator"},
    Text{Problem::NoLogonSeen, kNoLogonSeen,
         "no logon on %s within the time: the network may have refused the password, or nothing answered on "
         "the port; run as root, or as a member of the group netdev, to be told which",
         "%s 在限定时间内未能登录：可能是网络拒绝了密码，也可能端口上没有应答；"
         "以 root 身份或 netdev 组成员身份运行即可得知是哪一种",
         "no-logon"},
    Text{Problem::LogonUnfinished, kNoLogonSeen,
         "the authenticator on %s answered but did not finish the logon; its authentication server may not answer",
         "%s 上的认证设备有应答，但未完成登录；其认证服务器可能没有响应", "no-logon"},
    Text{Problem::DeviceUnavailable, kDeviceUnavailable, "the cable is out or the device is unavailable: %s",
         "网线未连接或设备不可用：%s", "device-unavailable"},
    Text{Problem::DeviceRemoved, kDeviceUnavailable, "the device %s was removed", "设备 %s 已被移除",
         "device-unavailable"},
    Text{Problem::DeviceTaken, kFailure, "another activation took the device %s", "另一个连接占用了设备 %s"},
    Text{Problem::DeviceDisconnected, kFailure, "a user or another program took %s down",
         "%s 被用户或其他程序断开"},
    Text{Problem::SupplicantFailed, kFailure, "the supplicant (wpa_supplicant) failed on %s",
         "认证客户端（wpa_supplicant）在 %s 上出错"},
    Text{Problem::SupplicantDisconnected, kFailure, "the supplicant (wpa_supplicant) let go of %s",
         "认证客户端（wpa_supplicant）与 %s 断开"},
    Text{Problem::ProfileRemoved, kFailure, "the profile was deleted while it came up on %s",
         "连接在 %s 上启用期间被删除"},
    Text{Problem::NoAddress, kFailure, "the logon on %s went through, but no IP address came (DHCP)",
         "%s 上的登录已通过，但未获得 IP 地址（DHCP）"},
    Text{Problem::ActivationFailed, kFailure, "the connection did not come up on %s; NetworkManager's reason: %s (%s)",
         "连接未能在 %s 上建立；NetworkManager 给出的原因：%s（%s）"},
    Text{Problem::ConnectTimedOut, kTimedOut, "no outcome within %s seconds", "%s 秒内没有结果", "timeout"},
    Text{Problem::Interrupted, kInterrupted, "cancelled (Ctrl+C)", "已取消（Ctrl+C）", "cancelled"},
    Text{Problem::Terminated, kTerminated, "cancelled (SIGTERM)", "已取消（SIGTERM）", "cancelled"},
    Text{Problem::HungUp, kHungUp, "cancelled: the terminal closed (SIGHUP)", "已取消：终端已关闭（SIGHUP）",
         "cancelled"},
    Text{Problem::ProfileNotRestored, kFailure,
         "the profile \"%s\" could not be restored (%s); look at it with: nmcli connection show \"%s\"",
         "连接“%s”未能恢复（%s）；请用 nmcli connection show \"%s\" 查看"},
    Text{Problem::IdentityNotUtf8, kFailure,
         "the user name '%s' is not plain ASCII: the network expects it in GBK, which NetworkManager "
         "cannot send; use the wpa-supplicant command instead",
         "用户名“%s”含非 ASCII 字符：网络要求 GBK 编码，NetworkManager 无法发送；请改用 wpa-supplicant 命令"},
    Text{Problem::OutputFailed, kFailure, "cannot write the output: %s", "无法写出结果：%s"},
    Text{Problem::Unexpected, kFailure, "unexpected error: %s", "发生意外错误：%s"},
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
                             (default name "PortAuth 802.1X"), or write it as a
                             keyfile (mode 600) to PATH
  connect [--connection NAME] [--interface IF] [--timeout SECONDS] [--json]
                             create or update it, bring it up and tell how it
                             went (default timeout 30 s); the exit status is
                             0 connected, 3 password refused, 4 no
                             authenticator, 5 cable out or device unavailable,
                             6 NetworkManager not running, 7 timed out, 8 no
                             logon, cause unseen (run as root or in the group
                             netdev to see it), 130/143/129 cancelled; a run
                             that does not end connected changes no profile
)"
#endif
                                          R"(
Options:
  --account A         account name (default: the one the window remembers)
  --ip I              IP address (default: the one the window remembers)
  --password-stdin    read the password as one line from standard input
                      (default: ask on the terminal, without echo)
  --stdin-utf8        the same, for a password piped as UTF-8 (on Windows a
                      pipe is read in the console's code page otherwise)
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
                             创建或更新 NetworkManager 有线连接
                             （默认名称 "PortAuth 802.1X"），或将其写为
                             连接文件（权限 600）
  connect [--connection 名称] [--interface 接口] [--timeout 秒数] [--json]
                             创建或更新连接并启用，报告结果（默认 30 秒）；
                             退出码：0 已连接，3 密码被拒绝，4 无认证服务器应答，
                             5 网线未连接或设备不可用，6 NetworkManager 未运行，
                             7 超时，8 未能登录且原因不可见（以 root 或 netdev
                             组成员身份运行可见），130/143/129 已取消；
                             未能连接时不改动任何连接配置
)"
#endif
                                          R"(
选项：
  --account 账号      账号（默认：窗口程序记住的账号）
  --ip 地址           IP 地址（默认：窗口程序记住的 IP 地址）
  --password-stdin    从标准输入读取一行作为密码
                      （默认：在终端提示输入，不回显）
  --stdin-utf8        同上，标准输入为 UTF-8（Windows 下管道默认按
                      控制台代码页读取）
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

int ExitCode(Problem problem)
{
    return textOf(problem).exitCode;
}

std::string_view OutcomeName(Problem problem)
{
    return textOf(problem).outcome;
}

std::string Explain(const CliError& error, Language language)
{
    const bool chinese = language == Language::Chinese;
    if (chinese && error.problem() == Problem::PasswordTooLong)
        return ToUtf8(kPasswordTooLongText) + "（错误 6）";
    std::string_view text = chinese ? textOf(error.problem()).chinese : textOf(error.problem()).english;
    std::string_view detail = error.what();
    std::string line;
    for (auto slot = text.find("%s"); slot != std::string_view::npos; slot = text.find("%s")) {
        const auto end = std::min(detail.find('\n'), detail.size());
        line.append(text.substr(0, slot)).append(Printable(detail.substr(0, end)));
        detail.remove_prefix(std::min(end + 1, detail.size()));
        text.remove_prefix(slot + 2);
    }
    line.append(text);
    if (ExitCode(error.problem()) == kUsage)
        line.append(chinese ? "（参见 portauth-cli --help）" : " (see portauth-cli --help)");
    return line;
}

std::string Describe(const CliError& error, Language language)
{
    return (language == Language::Chinese ? "portauth-cli：" : "portauth-cli: ") + Explain(error, language);
}

std::string ConnectedText(std::string_view connection, std::string_view interfaceName, Language language)
{
    // The kernel lets an interface's name hold control characters.
    const std::string name(connection), device = Printable(interfaceName);
    return language == Language::Chinese ? "已连接：“" + name + "”，接口 " + device
                                         : "connected: \"" + name + "\" on " + device;
}

std::string HelpText(Language language)
{
    return std::string(language == Language::Chinese ? kChineseHelp : kEnglishHelp);
}

} // namespace portauth::cli
