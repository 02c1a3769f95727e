#include "UpdaterScript.h"

#include <QStringList>

namespace UpdaterScript {

QString shellQuoted(const QString& value)
{
    QString quoted = value;
    quoted.replace(u'\'', QLatin1String("'\\''"));
    return u'\'' + quoted + u'\'';
}

QString text(const Parameters& p)
{
    const QStringList lines = {
        QStringLiteral("#!/bin/bash"),
        QStringLiteral("set -u"),
        QStringLiteral("APP_PID=") + shellQuoted(QString::number(p.appPid)),
        QStringLiteral("ARCHIVE_PATH=") + shellQuoted(p.archivePath),
        QStringLiteral("SIGNATURE=") + shellQuoted(p.signature),
        QStringLiteral("PUBLIC_KEY=") + shellQuoted(p.publicKey),
        QStringLiteral("VERIFIER=") + shellQuoted(p.verifierPath),
        QStringLiteral("INSTALL_PATH=") + shellQuoted(p.installPath),
        QStringLiteral("WORK_DIR=") + shellQuoted(p.workDirectory),
        QStringLiteral("UNIQUE=") + shellQuoted(p.uniqueName),
        QString(),
        QStringLiteral("PARENT=$(dirname -- \"$INSTALL_PATH\")"),
        QStringLiteral("NAME=$(basename -- \"$INSTALL_PATH\")"),
        QStringLiteral("STAGING=\"$PARENT/.$NAME.update-$UNIQUE\""),
        QStringLiteral("BACKUP=\"$PARENT/.$NAME.previous-$UNIQUE\""),
        QString(),
        QStringLiteral("cleanup() {"),
        QStringLiteral("    rm -rf -- \"$WORK_DIR\""),
        QStringLiteral("}"),
        QStringLiteral("refuse() {"),
        QStringLiteral("    rm -rf -- \"$STAGING\""),
        QStringLiteral("    cleanup"),
        QStringLiteral("    exit 1"),
        QStringLiteral("}"),
        QString(),
        QStringLiteral("while kill -0 \"$APP_PID\" 2>/dev/null; do sleep 0.1; done"),
        QString(),
        QStringLiteral("[ -x \"$VERIFIER\" ] || refuse"),
        QStringLiteral("\"$VERIFIER\" --public-key \"$PUBLIC_KEY\" --signature \"$SIGNATURE\" \"$ARCHIVE_PATH\" "
                       ">/dev/null 2>&1 || refuse"),
        QString(),
        QStringLiteral("mkdir -m 0700 -- \"$STAGING\" || { cleanup; exit 1; }"),
        QStringLiteral("tar -xzf \"$ARCHIVE_PATH\" -C \"$STAGING\" --no-same-owner >/dev/null 2>&1 || refuse"),
        QStringLiteral("[ -f \"$STAGING/bin/quorvane-app\" ] && [ -x \"$STAGING/bin/quorvane-app\" ] || refuse"),
        QStringLiteral("chmod \"$(stat -c %a -- \"$INSTALL_PATH\" 2>/dev/null || echo 755)\" -- \"$STAGING\" || refuse"),
        QString(),
        QStringLiteral("mv -T -- \"$INSTALL_PATH\" \"$BACKUP\" || refuse"),
        QStringLiteral("if ! mv -T -- \"$STAGING\" \"$INSTALL_PATH\"; then"),
        QStringLiteral("    mv -T -- \"$BACKUP\" \"$INSTALL_PATH\""),
        QStringLiteral("    refuse"),
        QStringLiteral("fi"),
        QStringLiteral("rm -rf -- \"$BACKUP\""),
        QStringLiteral("cleanup"),
        QString(),
        QStringLiteral("cd / && \"$INSTALL_PATH/bin/quorvane-app\" </dev/null >/dev/null 2>&1 &"),
        QStringLiteral("exit 0"),
    };
    return lines.join(u'\n') + u'\n';
}

} // namespace UpdaterScript
