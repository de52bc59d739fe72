// vantorel-admins: checks, shows, composes, formats and changes admins files without a window.
#include "commands.h"

#include <streams.h>

int main(int argc, char** argv)
{
    store::useBinaryStdio();
    cli::Console console = cli::systemConsole();
    return cli::runMain(store::utf8Arguments(argc, argv), console);
}
