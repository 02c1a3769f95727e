#include "SecretBytes.h"

#include <openssl/crypto.h>

namespace SecretBytes {

void cleanse(QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    if (!bytes.isDetached()) {
        bytes = QByteArray();
        return;
    }
    OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
}

void cleanse(QString& text)
{
    if (text.isEmpty())
        return;
    if (!text.isDetached()) {
        text = QString();
        return;
    }
    OPENSSL_cleanse(text.data(), size_t(text.size()) * sizeof(QChar));
}

} // namespace SecretBytes
