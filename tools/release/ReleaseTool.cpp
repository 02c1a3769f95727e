#include "tools/release/ReleaseTool.h"

#include "core/ReleaseArchive.h"
#include "core/ReleaseSignature.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fcntl.h>
#include <unistd.h>

#include <memory>

namespace {

bool failWith(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

std::optional<Ed25519Key> keyFromPem(const QByteArray& pem)
{
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())),
                                                        &BIO_free);
    if (!bio)
        return std::nullopt;
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519)
        return std::nullopt;
    QByteArray seed(Ed25519Key::seedSize, Qt::Uninitialized);
    size_t length = size_t(seed.size());
    if (EVP_PKEY_get_raw_private_key(key.get(), reinterpret_cast<unsigned char*>(seed.data()), &length) != 1
        || length != size_t(Ed25519Key::seedSize))
        return std::nullopt;
    return Ed25519Key::fromSeed(seed);
}

} // namespace

namespace ReleaseTool {

std::optional<Ed25519Key> readPrivateKey(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        failWith(error, QStringLiteral("cannot read the key file %1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    const QByteArray content = file.read(64 * 1024).trimmed();
    std::optional<Ed25519Key> key;
    if (content.startsWith("-----BEGIN"))
        key = keyFromPem(content);
    else if (const auto seed = ReleaseSignature::decodeBase64Url(QString::fromLatin1(content), Ed25519Key::seedSize))
        key = Ed25519Key::fromSeed(*seed);
    if (!key)
        failWith(error, QStringLiteral("%1 holds no Ed25519 private key (base64url seed or PEM)").arg(path));
    return key;
}

std::optional<Ed25519Key> writeNewPrivateKey(const QString& path, QString* error)
{
    std::optional<Ed25519Key> key = Ed25519Key::generate();
    if (!key) {
        failWith(error, QStringLiteral("could not generate a key"));
        return std::nullopt;
    }
    const QByteArray text = ReleaseSignature::encodeBase64Url(key->seed()).toLatin1() + '\n';
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        failWith(error, QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno))));
        return std::nullopt;
    }
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ::close(fd);
    if (!written) {
        failWith(error, QStringLiteral("cannot write %1").arg(path));
        return std::nullopt;
    }
    return key;
}

bool isValidVersion(const QString& version)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9.+_-]{0,63}$"));
    return pattern.match(version).hasMatch();
}

std::optional<PackResult> pack(const PackOptions& options, QString* error)
{
    if (!isValidVersion(options.version)) {
        failWith(error, QStringLiteral("invalid version \"%1\"").arg(options.version));
        return std::nullopt;
    }
    const QString input = QFileInfo(options.inputDirectory).absoluteFilePath();
    if (!QFileInfo(input + QStringLiteral("/bin/quorvane-app")).isExecutable()) {
        failWith(error, QStringLiteral("%1 is not an installation prefix (no executable bin/quorvane-app)").arg(input));
        return std::nullopt;
    }
    if (options.baseUrl.isEmpty()) {
        failWith(error, QStringLiteral("no base URL given"));
        return std::nullopt;
    }
    const std::optional<Ed25519Key> key = readPrivateKey(options.keyPath, error);
    if (!key)
        return std::nullopt;
    if (!QDir().mkpath(options.outputDirectory)) {
        failWith(error, QStringLiteral("cannot create %1").arg(options.outputDirectory));
        return std::nullopt;
    }

    const QString archiveName = QStringLiteral("Quorvane-") + options.version + QStringLiteral(".tar.gz");
    PackResult result;
    result.archivePath = QDir(options.outputDirectory).absoluteFilePath(archiveName);
    result.metadataPath = QDir(options.outputDirectory).absoluteFilePath(QStringLiteral("latest.json"));
    QFile::remove(result.archivePath);

    // The version goes inside the signed archive, so that the signature covers
    // it: a genuine old archive cannot pass for a newer release. A version file
    // already in the input is left out in favour of this one.
    QTemporaryDir versionFolder;
    const QString versionFile = versionFolder.filePath(QStringLiteral("release-version"));
    QSaveFile versionText(versionFile);
    if (!versionFolder.isValid() || !versionText.open(QIODevice::WriteOnly)
        || versionText.write(options.version.toUtf8() + '\n') < 0 || !versionText.commit()) {
        failWith(error, QStringLiteral("cannot write the version file"));
        return std::nullopt;
    }
    const QString versionMember = QStringLiteral("./") + QLatin1String(ReleaseArchive::versionEntry);

    // Entries are relative ("./bin/quorvane-app"), owned by root, in name order.
    QProcess tar;
    tar.setProgram(QStringLiteral("tar"));
    tar.setArguments({QStringLiteral("--sort=name"), QStringLiteral("--owner=0"), QStringLiteral("--group=0"),
                      QStringLiteral("--numeric-owner"), QStringLiteral("--exclude=") + versionMember,
                      QStringLiteral("--transform=s,^release-version$,") + versionMember + u',',
                      QStringLiteral("-czf"), result.archivePath, QStringLiteral("-C"), input, QStringLiteral("."),
                      QStringLiteral("-C"), versionFolder.path(), QStringLiteral("release-version")});
    tar.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tar.start();
    // A command-line tool with no event loop: blocking on the child is fine here.
    if (!tar.waitForFinished(-1) || tar.exitStatus() != QProcess::NormalExit || tar.exitCode() != 0) {
        failWith(error, QStringLiteral("tar failed: %1").arg(tar.errorString()));
        return std::nullopt;
    }

    QFile archive(result.archivePath);
    if (!archive.open(QIODevice::ReadOnly)) {
        failWith(error, QStringLiteral("cannot read %1").arg(result.archivePath));
        return std::nullopt;
    }
    const QByteArray bytes = archive.readAll();
    const QByteArray signature = key->sign(bytes);
    if (signature.size() != Ed25519Key::signatureSize) {
        failWith(error, QStringLiteral("signing failed"));
        return std::nullopt;
    }

    QString baseUrl = options.baseUrl;
    while (baseUrl.endsWith(u'/'))
        baseUrl.chop(1);
    QJsonObject latest;
    latest.insert(QStringLiteral("version"), options.version);
    latest.insert(QStringLiteral("url"), QString(baseUrl + u'/' + archiveName));
    latest.insert(QStringLiteral("sha256"), ReleaseSignature::sha256Hex(bytes));
    latest.insert(QStringLiteral("signature"), ReleaseSignature::encodeBase64Url(signature));
    latest.insert(QStringLiteral("size"), double(bytes.size()));
    result.metadata = QJsonDocument(latest).toJson(QJsonDocument::Indented);

    QSaveFile metadata(result.metadataPath);
    if (!metadata.open(QIODevice::WriteOnly) || metadata.write(result.metadata) != result.metadata.size()
        || !metadata.commit()) {
        failWith(error, QStringLiteral("cannot write %1").arg(result.metadataPath));
        return std::nullopt;
    }
    return result;
}

} // namespace ReleaseTool
