// vantorel-admins: checks, shows, composes and formats admins files, and adds, changes and removes one entry in place,
// without a window.
#include "commands.h"

#include <streams.h>

int main(int argc, char** argv)
{
    store::useBinaryStdio();
    cli::Console console = cli::systemConsole();
    return cli::runMain(store::utf8Arguments(argc, argv), console);
}
