// vantorel-admins: checks, shows, composes and formats admins files, and adds, changes and removes one entry in place,
// without a window.
#include "commands.h"
#include "file_io.h"

int main(int argc, char** argv)
{
    cli::useBinaryStdio();
    cli::Console console = cli::systemConsole();
    return cli::runCli(cli::utf8Arguments(argc, argv), console);
}
