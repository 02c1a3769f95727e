#include "core/ReceiptLog.h"

#include "core/FileDescriptor.h"
#include "core/LogCategories.h"
#include "core/PrivateFiles.h"

#include <QDateTime>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(const QString& what)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

int openForAppend(const QString& path)
{
    // Read as well: the last byte tells whether a crash left a torn line.
    return ::open(QFile::encodeName(path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

// True when the file is empty or ends with a line break.
bool endsWithLineBreak(int fd, off_t size)
{
    if (size == 0)
        return true;
    char last = 0;
    return ::pread(fd, &last, 1, size - 1) == 1 && last == '\n';
}

} // namespace

ReceiptLog::ReceiptLog(QString path, qint64 maximumFileSize, int keptFiles, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_maximumFileSize(maximumFileSize)
    , m_keptFiles(std::max(keptFiles, 1))
{
}

QString ReceiptLog::filePath(int age) const
{
    return age == 0 ? m_path : m_path + u'.' + QString::number(age);
}

std::optional<QString> ReceiptLog::append(const Receipt& receipt)
{
    QByteArray line = receipt.toJsonLine();
    if (line.size() > Receipt::maximumLineSize)
        return QStringLiteral("the receipt is larger than a receipt line may be");
    line += '\n';

    if (auto error = PrivateFiles::makePrivateDirectories(QFileInfo(m_path).absolutePath()))
        return error;
    FileDescriptor file(openForAppend(m_path));
    if (!file.isValid())
        return systemError(QStringLiteral("cannot open the receipts log"));
    struct stat status = {};
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return QStringLiteral("the receipts log is not a regular file");
    if (status.st_size > 0 && status.st_size + line.size() > m_maximumFileSize) {
        file = FileDescriptor();
        rotate();
        file = FileDescriptor(openForAppend(m_path));
        if (!file.isValid())
            return systemError(QStringLiteral("cannot open the receipts log"));
        status.st_size = 0;
    }
    // A line torn by a crash stays a damaged line of its own.
    if (!endsWithLineBreak(file.get(), status.st_size))
        line.prepend('\n');

    ssize_t written = -1;
    do {
        written = ::write(file.get(), line.constData(), size_t(line.size()));
    } while (written < 0 && errno == EINTR);
    if (written != line.size())
        return written < 0 ? systemError(QStringLiteral("cannot write the receipts log"))
                           : QStringLiteral("the receipts log took only part of a receipt");
    if (::fdatasync(file.get()) != 0)
        return systemError(QStringLiteral("cannot sync the receipts log"));
    Q_EMIT appended(receipt);
    return std::nullopt;
}

void ReceiptLog::record(Receipt receipt, const SignedRequest& request, int status)
{
    receipt.time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    receipt.takeSignature(request);
    receipt.status = status;
    receipt.outcome = Receipt::outcomeOf(status);
    const std::optional<QString> error = append(receipt);
    if (!error)
        return;
    qCWarning(lcSync).noquote() << QStringLiteral("Quorvane: receipt not written: %1").arg(*error);
    m_failures.prepend({ receipt.time, receipt.decision.left(Receipt::maximumFieldLength),
        receipt.actionId.left(Receipt::maximumFieldLength), *error });
    if (m_failures.size() > keptFailures)
        m_failures.removeLast();
    Q_EMIT failed();
}

void ReceiptLog::rotate()
{
    for (int age = m_keptFiles - 1; age >= 1; --age) {
        const QByteArray from = QFile::encodeName(filePath(age - 1));
        const QByteArray to = QFile::encodeName(filePath(age));
        ::rename(from.constData(), to.constData());
    }
    if (m_keptFiles == 1)
        ::unlink(QFile::encodeName(m_path).constData());
}

QList<Receipt> ReceiptLog::readAll() const
{
    QList<Receipt> receipts;
    for (int age = 0; age < m_keptFiles; ++age) {
        const std::optional<QByteArray> content
            = PrivateFiles::readSmallRegularFile(filePath(age), m_maximumFileSize + Receipt::maximumLineSize + 1);
        if (!content)
            continue;
        QList<QByteArrayView> lines;
        qsizetype start = 0;
        // Only lines closed by a line break: the text after the last one is torn.
        for (qsizetype end = content->indexOf('\n'); end >= 0; end = content->indexOf('\n', start)) {
            lines.append(QByteArrayView(*content).sliced(start, end - start));
            start = end + 1;
        }
        for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
            if (std::optional<Receipt> receipt = Receipt::fromJsonLine(*line))
                receipts.append(std::move(*receipt));
        }
    }
    return receipts;
}
