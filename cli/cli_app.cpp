#include "commands.h"
#include "exit_codes.h"

#include <sstream>

namespace cli {

void addWaitOption(CLI::App& command, store::InPlaceOptions& options, CLI::Option* inPlace)
{
    command
        .add_option("--wait", options.waitSeconds,
                    "With -i: how many seconds to wait while another writer holds the file's lock (default 10, "
                    "at most a day)")
        ->check(CLI::Range(0.0, store::kMaxWaitSeconds))
        ->needs(inPlace);
}

bool oneTargetUnlessWritten(Console& console, std::string_view command, std::size_t targets, bool inPlace, bool dryRun)
{
    if (targets < 2 || inPlace || dryRun)
        return true;
    complain(console,
             std::string(command) +
                 ": several targets need -i, or --dry-run to see the changes first: their "
                 "new texts cannot all go to standard output");
    return false;
}

int runCli(const std::vector<std::string>& args, Console& console)
{
    CLI::App app{"Checks, shows, composes, formats and changes the entries of the admin plugin's KZ_admins.txt.",
                 "vantorel-admins"};
    app.set_version_flag("--version", VANTOREL_VERSION);
    app.require_subcommand(1);
    // Options are spelt the same on every system: "/i" or a path beginning with "/" is never an option on Windows.
    app.allow_windows_style_options(false);
    app.footer("FILE may also be a file on a server: sftp://[user@]host[:port]/path (/~/ starts at the login's home),\n"
               "reached with OpenSSH's ssh, its configuration, agent and known_hosts; or ftp://... (TLS asked for)\n"
               "and ftps://... (TLS from the start), the password from VANTOREL_ADMINS_LOGIN_PASSWORD or ~/.netrc.\n"
               "Exit status: 0 clean, 1 errors found, 2 usage or input/output error.\n"
               "Examples:\n"
               "  vantorel-admins check KZ_admins.txt\n"
               "  vantorel-admins show --json KZ_admins.txt\n"
               "  vantorel-admins compose --type name --id Alice --level 2 >> KZ_admins.txt\n"
               "  vantorel-admins format -i KZ_admins.txt\n"
               "  vantorel-admins set -i KZ_admins.txt --type name --id Alice --level 2\n"
               "  vantorel-admins remove -i KZ_admins.txt --type name --id Alice\n"
               "  vantorel-admins set -i sftp://gs@example.org/~/cstrike/KZ_admins.txt --type name --id Alice");
    CheckOptions check;
    ShowOptions show;
    ComposeOptions compose;
    FormatOptions format;
    SetOptions set;
    RemoveOptions remove;
    const CLI::App* checkCommand = setupCheck(app, check);
    const CLI::App* showCommand = setupShow(app, show);
    const CLI::App* composeCommand = setupCompose(app, compose);
    const CLI::App* formatCommand = setupFormat(app, format);
    const CLI::App* setCommand = setupSet(app, set);
    setupRemove(app, remove);
    bool acceptNewHostKey = false;
    bool allowPlainFtp = false;
    std::string pinnedKey;
    for (CLI::App* command : app.get_subcommands({}))
        if (command != composeCommand) {
            command->add_flag("--accept-new-host-key", acceptNewHostKey,
                              "For an sftp:// address: a server whose host key is not yet known is trusted, and its "
                              "key added to known_hosts");
            command->add_flag("--allow-plain-ftp", allowPlainFtp,
                              "For an ftp:// address: a server without TLS is used all the same, and the password "
                              "travels unencrypted");
            command
                ->add_option("--pinned-key", pinnedKey,
                             "For ftp:// and ftps://: the server's public key as sha256//BASE64, trusted instead of "
                             "its certificate")
                ->check([](const std::string& key) {
                    return key.starts_with("sha256//") && key.size() > 8
                        ? std::string()
                        : std::string("not of the form sha256//BASE64");
                });
        }

    std::vector<const char*> argv;
    argv.reserve(args.size());
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& e) {
        // Help and version end in 0; every argument error goes through the parser's own message and ends in 2.
        std::ostringstream out;
        std::ostringstream err;
        const int code = app.exit(e, out, err);
        console.err(err.str());
        return emit(console, out.str(), code == 0 ? kExitClean : kExitTrouble);
    }
    if (console.remote) {
        console.remote->settings().acceptNewHostKey = acceptNewHostKey;
        console.remote->settings().notice = [&console](const std::string& message) { complain(console, message); };
    }
    if (console.ftp) {
        console.ftp->settings().allowPlainFtp = allowPlainFtp;
        console.ftp->settings().pinnedKey = pinnedKey;
    }
    if (checkCommand->parsed())
        return runCheck(check, console);
    if (showCommand->parsed())
        return runShow(show, console);
    if (composeCommand->parsed())
        return runCompose(compose, console);
    if (formatCommand->parsed())
        return runFormat(format, console);
    if (setCommand->parsed())
        return runSet(set, console);
    return runRemove(remove, console);
}

int runMain(const std::vector<std::string>& args, Console& console)
{
    try {
        return runCli(args, console);
    } catch (const std::exception& e) {
        complain(console, std::string("stopped: ") + e.what());
    } catch (...) {
        complain(console, "stopped by an unknown error");
    }
    return kExitTrouble;
}

} // namespace cli
