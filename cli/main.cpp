// vantorel-admins: checks, shows, composes and formats admins files, and adds, changes and removes one entry in place,
// without a window.
#include "commands.h"

#include <remote_files.h>
#include <streams.h>

int main(int argc, char** argv)
{
    store::useBinaryStdio();
    // Started by ssh to answer its question: the login password a script gave, or no answer.
    if (remote::isAskpassRun()) {
        const std::optional<std::string> password = remote::passwordFromEnvironment(argc > 1 ? argv[1] : "");
        return password && store::writeOut(*password + "\n") ? 0 : 1;
    }
    cli::Console console = cli::systemConsole();
    return cli::runMain(store::utf8Arguments(argc, argv), console);
}
