// quorvane-verify-release --public-key KEY --signature SIGNATURE FILE
//
// Exit status 0 when SIGNATURE (unpadded base64url, 64 bytes) is a valid
// Ed25519 signature of FILE's bytes under KEY (unpadded base64url, 32 bytes);
// 1 when it is not; 2 for a usage error or an unreadable file. Publishers and
// administrators check an archive with it by hand; the updater helper runs
// the same check itself.
#include "core/ReleaseSignature.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstring>

namespace {

int usage()
{
    std::fputs("usage: quorvane-verify-release --public-key KEY --signature SIGNATURE FILE\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QString publicKey, signature, path;
    bool havePath = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--public-key") == 0 && i + 1 < argc) {
            publicKey = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argument, "--signature") == 0 && i + 1 < argc) {
            signature = QString::fromLocal8Bit(argv[++i]);
        } else if (!havePath && argument[0] != '-') {
            path = QFile::decodeName(argument);
            havePath = true;
        } else {
            return usage();
        }
    }
    if (!havePath || publicKey.isEmpty() || signature.isEmpty())
        return usage();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "quorvane-verify-release: cannot read %s\n", argv[argc - 1]);
        return 2;
    }
    QByteArray copy;
    QByteArrayView bytes;
    if (file.size() > 0) {
        if (const uchar* mapped = file.map(0, file.size())) {
            bytes = QByteArrayView(mapped, file.size());
        } else {
            copy = file.readAll();
            if (copy.size() != file.size())
                return 2;
            bytes = copy;
        }
    }
    if (!ReleaseSignature::verifyText(publicKey, bytes, signature)) {
        std::fputs("quorvane-verify-release: signature invalid\n", stderr);
        return 1;
    }
    std::fputs("signature valid\n", stdout);
    return 0;
}
