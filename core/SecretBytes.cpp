#include "core/SecretBytes.h"

#include <openssl/crypto.h>

namespace {

template<typename Buffer>
void wipe(Buffer& buffer)
{
    if (buffer.isEmpty())
        return;
    if (!buffer.isDetached()) {
        buffer = Buffer();
        return;
    }
    OPENSSL_cleanse(buffer.data(), size_t(buffer.size()) * sizeof(*buffer.data()));
}

} // namespace

namespace SecretBytes {

void cleanseMemory(void* data, std::size_t size)
{
    OPENSSL_cleanse(data, size);
}

void cleanse(QByteArray& bytes)
{
    wipe(bytes);
}

void cleanse(QString& text)
{
    wipe(text);
}

} // namespace SecretBytes
