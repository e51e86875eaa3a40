#include "connect.h"

#include <chrono>
#include <optional>

#include "cli_error.h"
#include "network_manager.h"
#include "platform.h"

namespace portauth::cli {
namespace {

WiredProfile typed(nm::Budget& budget, const std::function<WiredProfile()>& profile)
{
    budget.Pause();
    WiredProfile settings = profile();
    budget.Resume();
    return settings;
}

void takeBack(nm::Logon& logon, const std::string& name, Language language)
{
    logon.TakeDown();
    if (const std::optional<CliError> why = logon.Restore())
        WriteError(Describe(CliError(Problem::ProfileNotRestored, name + '\n' + Explain(*why, language) + '\n' + name),
                            language) +
                   '\n');
}

} // namespace

std::string Connect(const Options& options, const std::function<WiredProfile()>& profile, Language language)
{
    nm::Budget budget(std::chrono::seconds(options.timeoutSeconds));
    nm::Logon logon(budget, options.connection, options.interfaceName);
    const WiredProfile settings = typed(budget, profile);
    const nm::Interrupts interrupts;
    try {
        logon.SaveInMemory(settings);
        logon.Activate(interrupts);
        if (const std::optional<CliError> failure = nm::Verdict(logon.Follow(interrupts)))
            throw *failure;
        logon.Persist();
        return logon.InterfaceName();
    } catch (...) {
        takeBack(logon, options.connection, language);
        throw;
    }
}

void SaveProfile(const Options& options, const std::function<WiredProfile()>& profile)
{
    nm::Budget budget(std::chrono::seconds(options.timeoutSeconds));
    nm::ProfileWriter writer(budget, options.connection);
    writer.Save(typed(budget, profile));
}

} // namespace portauth::cli
