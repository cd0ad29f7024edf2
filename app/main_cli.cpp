#include "app/CliApp.h"

#include "engine/Walker.h"
#include "office/OfficeFactory.h"
#include "office/native/NativeBackend.h"
#include "settings/RegAccess.h"
#ifdef KELVARAN_HAVE_ENGINE
#include "engine/Engine.h"
#endif

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
    environment.registerBackends = [](kelvaran::office::OfficeFactory& factory) {
        kelvaran::office::native::registerNativeBackend(factory);
    };
#ifdef KELVARAN_HAVE_ENGINE
    environment.makeWalker = [](const kelvaran::app::WalkerParts& p) -> std::unique_ptr<kelvaran::engine::Walker> {
        auto engine = std::make_unique<kelvaran::engine::Engine>(p.state, p.conditions, p.rules, p.display,
                                                                 p.clipboard, p.events, p.timer);
        engine->setObserver(p.observer);
        return engine;
    };
#endif
    environment.configFolder = kelvaran::settings::RegAccess::defaultFolder();
    environment.interrupted = &interrupted;
    environment.standardInput = &std::cin;
    environment.errorIsTerminal = ::isatty(STDERR_FILENO) == 1;
    return kelvaran::app::runCli(argc, argv, environment, std::cout, std::cerr);
}
