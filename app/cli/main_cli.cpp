#include "app/cli/CliApp.h"

#include "settings/RegAccess.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    if (interrupted.load()) {
        // A second interrupt ends the program the usual way.
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
        return;
    }
    interrupted.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGINT, onInterrupt);
    kelvaran::app::CliEnvironment environment;
    environment.configFolder = kelvaran::settings::RegAccess::defaultFolder();
    environment.interrupted = &interrupted;
    environment.standardInput = &std::cin;
    environment.errorIsTerminal = ::isatty(STDERR_FILENO) == 1;
    return kelvaran::app::runCli(argc, argv, environment, std::cout, std::cerr);
}
