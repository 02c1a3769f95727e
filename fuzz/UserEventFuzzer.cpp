// Feeds arbitrary text frames through the stream subscriber's own frame
// handling (the path every received message takes), checking the events it
// raises.
#include "core/CredentialStore.h"
#include "core/MachineAuthService.h"
#include "core/SystemLog.h"
#include "core/UserEvent.h"
#include "core/WebSocketSubscriber.h"

#include <QObject>

#include <cstddef>
#include <cstdint>

namespace {

// The subscriber only needs an identity to open a socket, which never happens here.
class NoCredentials final : public CredentialStore
{
public:
    std::optional<QByteArray> read(const QString&, const QString&, const QString&) override { return {}; }
    int add(const QString&, const QString&, const QString&, const QByteArray&) override { return genericFailure; }
    void remove(const QString&, const QString&, const QString&) override {}
    void removeAll(const QString&, const QString&) override {}
};

WebSocketSubscriber& subscriber()
{
    static NoCredentials store;
    static MachineAuthService* auth = [] {
        SystemLog::setSink([](QtMsgType, const QString&) {});
        return new MachineAuthService(store);
    }();
    static WebSocketSubscriber* instance = [] {
        auto* created = new WebSocketSubscriber(*auth);
        QObject::connect(created, &WebSocketSubscriber::eventReceived, created, [](const UserEvent& event) {
            // Every event carries exactly the members of its kind.
            if (event.kind != UserEvent::Kind::unknown && !event.raw.isEmpty())
                __builtin_trap();
            if (event.kind != UserEvent::Kind::actionPending && !event.actionId.isEmpty())
                __builtin_trap();
        });
        return created;
    }();
    return *instance;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString frame = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    subscriber().handleMessage(frame);
    // Parsing a frame never opens anything.
    if (subscriber().hasSocket() || subscriber().isConnected())
        __builtin_trap();
    return 0;
}
