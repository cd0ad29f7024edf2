#pragma once

#include <QDBusConnection>
#include <memory>

namespace kelvaran::automation {

class MainWindowControl;
class MSKelvaran;

// The automation class registered on one bus connection: the object at
// /MSKelvaran and the well-known name.  Withdrawn again when destroyed.
// Create and use it on the user-interface thread.
class AutomationService {
public:
    AutomationService(MainWindowControl& window, QDBusConnection connection);
    ~AutomationService();
    AutomationService(const AutomationService&) = delete;
    AutomationService& operator=(const AutomationService&) = delete;

    // Registers the object and asks for the name.  False, with nothing left
    // registered, when the connection is down, the path is taken or another
    // process holds the name; lastError() then says why.
    bool publish();
    void withdraw();
    bool published() const;
    const QString& lastError() const;

private:
    QDBusConnection connection_;
    std::unique_ptr<MSKelvaran> object_;
    bool objectRegistered_ = false;
    bool nameRegistered_ = false;
    QString lastError_;
};

}  // namespace kelvaran::automation
