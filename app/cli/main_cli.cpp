#include "app/cli/CliApp.h"
#include "app/cli/CliSignals.h"

#include "imaging/Imaging.h"
#include "platform/LargeBuffers.h"
#include "settings/RegAccess.h"

#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    kelvaran::platform::shareMemoryArenas();
    kelvaran::imaging::keepToBuiltInCodecs();
    kelvaran::app::catchStopSignals();
    kelvaran::app::CliEnvironment environment;
    environment.configFolder = kelvaran::settings::RegAccess::defaultFolder();
    environment.interrupted = &kelvaran::app::stopSignalFlag();
    environment.standardInput = &std::cin;
    environment.errorIsTerminal = ::isatty(STDERR_FILENO) == 1;
    return kelvaran::app::runCli(argc, argv, environment, std::cout, std::cerr);
}
