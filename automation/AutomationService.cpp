#include "automation/AutomationService.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <cstdio>

#include "automation/BusNames.h"
#include "automation/MSKelvaran.h"
#include "automation/MainWindowControl.h"

namespace kelvaran::automation {

AutomationService::AutomationService(MainWindowControl& window, QDBusConnection connection)
    : connection_(std::move(connection)), object_(std::make_unique<MSKelvaran>(window)) {}

AutomationService::~AutomationService() { withdraw(); }

bool AutomationService::publish() {
    if (published()) return true;
    lastError_.clear();
    if (!connection_.isConnected()) {
        lastError_ = QStringLiteral("no connection to the session bus: ") + connection_.lastError().message();
        return false;
    }
    if (!connection_.registerObject(QString::fromLatin1(kObjectPath), object_.get(),
                                    QDBusConnection::ExportAllSlots)) {
        lastError_ = QStringLiteral("the object path %1 is already in use").arg(QString::fromLatin1(kObjectPath));
        return false;
    }
    objectRegistered_ = true;
    // Not queued behind a running owner: a second copy of the program must not
    // silently take over the name when the first one ends.
    QDBusConnectionInterface* bus = connection_.interface();
    if (bus == nullptr) {
        lastError_ = QStringLiteral("the connection has no bus to register the name with");
        withdraw();
        return false;
    }
    QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus->registerService(
        QString::fromLatin1(kServiceName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        lastError_ = reply.isValid()
                         ? QStringLiteral("the name %1 is held by another process").arg(QString::fromLatin1(kServiceName))
                         : reply.error().message();
        withdraw();
        return false;
    }
    nameRegistered_ = true;
    return true;
}

void AutomationService::withdraw() {
    if (nameRegistered_) {
        connection_.unregisterService(QString::fromLatin1(kServiceName));
        nameRegistered_ = false;
    }
    if (objectRegistered_) {
        connection_.unregisterObject(QString::fromLatin1(kObjectPath));
        objectRegistered_ = false;
    }
}

bool AutomationService::published() const { return objectRegistered_ && nameRegistered_; }

const QString& AutomationService::lastError() const { return lastError_; }

namespace {
// The process-wide service behind publishAutomationService; it goes away
// when the application's event loop ends, while the bus is still there.
AutomationService* processService = nullptr;
}  // namespace

bool publishAutomationService(MainWindowControl& window) {
    if (processService != nullptr) return true;
    auto service = std::make_unique<AutomationService>(window, QDBusConnection::sessionBus());
    if (!service->publish()) {
        std::fprintf(stderr, "kelvaran: automation service not available: %s\n",
                     service->lastError().toLocal8Bit().constData());
        return false;
    }
    processService = service.release();
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] {
            delete processService;
            processService = nullptr;
        });
    }
    return true;
}

}  // namespace kelvaran::automation
