// Feeds arbitrary bytes to the sign-in's readers of outside input: the code
// exchange's answer and the callback URL opened through our scheme.
#include "core/CodeExchangeResponse.h"
#include "core/SignInCallback.h"

#include <QByteArray>
#include <QUrl>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    if (const auto response = CodeExchangeResponse::decode(200, bytes)) {
        if (response->session.isEmpty())
            std::abort();
    }
    if (CodeExchangeResponse::decode(500, bytes))
        std::abort();

    for (const QUrl& url : { QUrl::fromEncoded(bytes), QUrl(QString::fromUtf8(bytes)) }) {
        const auto code = SignInCallback::code(url);
        if (code && code->isEmpty())
            std::abort();
        SignInCallback::hasOurScheme(url);
    }
    return 0;
}
