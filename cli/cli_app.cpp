#include "commands.h"
#include "exit_codes.h"

#include <sstream>

namespace cli {

int emit(Console& console, std::string_view bytes, int code)
{
    if (console.out(bytes))
        return code;
    complain(console, "cannot write to standard output");
    return kExitTrouble;
}

int runCli(const std::vector<std::string>& args, Console& console)
{
    CLI::App app{"Checks, shows, composes and formats the entries of the admin plugin's KZ_admins.txt.",
                 "vantorel-admins"};
    app.set_version_flag("--version", VANTOREL_VERSION);
    app.require_subcommand(1);
    // Options are spelt the same on every system: "/i" or a path beginning with "/" is never an option on Windows.
    app.allow_windows_style_options(false);
    app.footer("Exit status: 0 clean, 1 errors found, 2 usage or input/output error.\n"
               "Examples:\n"
               "  vantorel-admins check KZ_admins.txt\n"
               "  vantorel-admins show --json KZ_admins.txt\n"
               "  vantorel-admins compose --type name --id Alice --level 2 >> KZ_admins.txt\n"
               "  vantorel-admins format -i KZ_admins.txt");
    CheckOptions check;
    ShowOptions show;
    ComposeOptions compose;
    FormatOptions format;
    const CLI::App* checkCommand = setupCheck(app, check);
    const CLI::App* showCommand = setupShow(app, show);
    const CLI::App* composeCommand = setupCompose(app, compose);
    setupFormat(app, format);

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
    if (checkCommand->parsed())
        return runCheck(check, console);
    if (showCommand->parsed())
        return runShow(show, console);
    if (composeCommand->parsed())
        return runCompose(compose, console);
    return runFormat(format, console);
}

} // namespace cli
