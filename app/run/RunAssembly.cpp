#include "app/run/RunAssembly.h"

#include "app/run/AppTitle.h"
#include "app/run/BatchRun.h"
#include "engine/Engine.h"
#include "office/OfficeControl.h"
#include "office/native/NativeBackend.h"

namespace kelvaran::app {

void registerInProcessBackends(office::OfficeFactory& factory) { office::native::registerNativeBackend(factory); }

RunAssembly::RunAssembly(const BackendRegistration& registerBackends) {
    if (registerBackends) registerBackends(factory_);
}

RunAssembly::~RunAssembly() = default;

void RunAssembly::assemble(const FrontEnd& frontEnd, const WalkerFactory& makeWalker) {
    if (frontEnd_) return;
    frontEnd_.emplace(frontEnd);
    office_ = std::make_unique<office::OfficeControl>(factory_, state_, clipboard_, frontEnd.messages,
                                                      kApplicationTitle);
    office_->events = &frontEnd.events;
    batch_ = std::make_unique<BatchRun>(state_, *office_, clipboard_, frontEnd.messages, frontEnd.conditions,
                                        frontEnd.display, frontEnd.host);
    if (makeWalker) {
        walker_ = makeWalker(*this);
    } else {
        auto engine = std::make_unique<engine::Engine>(state_, frontEnd.conditions, exceptions_, frontEnd.display,
                                                       clipboard_, frontEnd.events, frontEnd.timer);
        engine->setObserver(frontEnd.observer);
        walker_ = std::move(engine);
    }
    batch_->setWalker(walker_.get());
}

}  // namespace kelvaran::app
