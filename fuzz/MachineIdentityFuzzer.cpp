// Feeds arbitrary bytes to the readers of the stored machine identity: the
// machine.json decoder and the decoding of the key item (UTF-8 base64url text,
// then the seed taken from its first 32 bytes).
#include "core/Ed25519Key.h"
#include "core/MachineAuthService.h"
#include "core/MachineConfig.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    if (const auto config = MachineConfig::decode(bytes)) {
        // What is decoded encodes to a record that decodes to the same values.
        const auto again = MachineConfig::decode(config->encode());
        if (!again || !(*again == *config))
            std::abort();
    }

    if (const auto keyBytes = MachineAuthService::decodeKeyItem(bytes)) {
        const auto roundTrip = MachineAuthService::base64urlDecode(MachineAuthService::base64urlEncode(*keyBytes));
        if (!roundTrip || *roundTrip != *keyBytes)
            std::abort();
        const auto key = MachineAuthService::signingKeyFromKeyBytes(*keyBytes);
        // Every 32-byte string is an Ed25519 seed; shorter data never is.
        if (key.has_value() != (keyBytes->size() >= Ed25519Key::seedSize))
            std::abort();
        if (key && key->seed() != keyBytes->left(Ed25519Key::seedSize))
            std::abort();
    }
    return 0;
}
