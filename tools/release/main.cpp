// quorvane-release: the publisher's release tool.
//
//   quorvane-release keygen [--private-key-out FILE] [--public-key-out FILE]
//   quorvane-release pack --input PREFIX --version VERSION --key FILE --output DIR --base-url URL
//   quorvane-release sign --key FILE ARCHIVE
#include "core/ReleaseSignature.h"
#include "tools/release/ReleaseTool.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "quorvane-release: %s\n", qPrintable(message));
    return 1;
}

void print(const QString& text) { std::fputs(text.toLocal8Bit().constData(), stdout); }

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Packs, signs and announces a Quorvane release."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("keygen, pack or sign"));
    const QCommandLineOption keyOut(QStringLiteral("private-key-out"),
                                    QStringLiteral("keygen: write the private key to FILE (mode 0600)"),
                                    QStringLiteral("FILE"));
    const QCommandLineOption publicKeyOut(
        QStringLiteral("public-key-out"),
        QStringLiteral("keygen: write the public key to FILE (what a build names in QUORVANE_RELEASE_PUBKEY_FILE)"),
        QStringLiteral("FILE"));
    const QCommandLineOption input(QStringLiteral("input"), QStringLiteral("pack: the installation prefix"),
                                   QStringLiteral("PREFIX"));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("pack: the release version"),
                                     QStringLiteral("VERSION"));
    const QCommandLineOption key(QStringLiteral("key"), QStringLiteral("the publisher's private key file"),
                                 QStringLiteral("FILE"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("pack: folder for the archive and latest.json"),
                                    QStringLiteral("DIR"));
    const QCommandLineOption baseUrl(QStringLiteral("base-url"),
                                     QStringLiteral("pack: URL prefix the archive is served under"),
                                     QStringLiteral("URL"));
    parser.addOptions({keyOut, publicKeyOut, input, version, key, output, baseUrl});
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    const QString command = positional.value(0);
    QString error;

    if (command == QLatin1String("keygen") && positional.size() == 1) {
        std::optional<Ed25519Key> generated;
        if (parser.isSet(keyOut)) {
            generated = ReleaseTool::writeNewPrivateKey(parser.value(keyOut), &error);
        } else {
            generated = Ed25519Key::generate();
            if (generated)
                print(QStringLiteral("private-key: ") + ReleaseSignature::encodeBase64Url(generated->seed())
                      + u'\n');
        }
        if (!generated)
            return fail(error.isEmpty() ? QStringLiteral("could not generate a key") : error);
        const QString publicKey = ReleaseSignature::encodeBase64Url(generated->publicKey());
        if (parser.isSet(publicKeyOut)) {
            QFile file(parser.value(publicKeyOut));
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                || file.write((publicKey + u'\n').toLatin1()) < 0 || !file.flush())
                return fail(QStringLiteral("cannot write %1").arg(parser.value(publicKeyOut)));
        }
        print(QStringLiteral("public-key: ") + publicKey + u'\n');
        return 0;
    }

    if (command == QLatin1String("pack") && positional.size() == 1) {
        for (const QCommandLineOption& required : {input, version, key, output, baseUrl}) {
            if (!parser.isSet(required))
                return fail(QStringLiteral("pack needs --%1").arg(required.names().constFirst()));
        }
        const ReleaseTool::PackOptions options{parser.value(input), parser.value(version), parser.value(key),
                                               parser.value(output), parser.value(baseUrl)};
        const std::optional<ReleaseTool::PackResult> result = ReleaseTool::pack(options, &error);
        if (!result)
            return fail(error);
        print(QString::fromUtf8(result->metadata));
        return 0;
    }

    if (command == QLatin1String("sign") && positional.size() == 2 && parser.isSet(key)) {
        const std::optional<Ed25519Key> privateKey = ReleaseTool::readPrivateKey(parser.value(key), &error);
        if (!privateKey)
            return fail(error);
        QFile archive(positional.at(1));
        if (!archive.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("cannot read %1").arg(positional.at(1)));
        print(ReleaseSignature::encodeBase64Url(privateKey->sign(archive.readAll())) + u'\n');
        return 0;
    }

    parser.showHelp(2);
}
