#include "core/LatestRelease.h"
#include "core/ReleaseSignature.h"
#include "core/VersionComparison.h"

#include <cstddef>
#include <cstdint>

// The release query's answer, and what the update check derives from it: the
// version comparison, the download host as written and the base64url forms.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString error;
    const std::optional<LatestRelease> release = LatestRelease::fromJson(bytes, &error);
    if (!release) {
        if (error.isEmpty())
            __builtin_trap(); // every refusal says why
        return 0;
    }
    // Comparison is a strict order: never newer than itself, never both ways.
    const bool forward = VersionComparison::isNewer(release->version, release->url);
    const bool backward = VersionComparison::isNewer(release->url, release->version);
    if ((forward && backward) || VersionComparison::isNewer(release->version, release->version))
        __builtin_trap();
    if (const std::optional<QString> host = LatestRelease::hostAsWritten(release->url)) {
        if (host->isEmpty() || !release->url.contains(*host))
            __builtin_trap();
    }
    if (release->signature) {
        if (const auto raw = ReleaseSignature::decodeBase64Url(*release->signature, ReleaseSignature::signatureSize)) {
            if (ReleaseSignature::encodeBase64Url(*raw) != *release->signature)
                __builtin_trap();
        }
    }
    return 0;
}
