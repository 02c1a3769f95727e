#pragma once

#include "app/tooling/CLIService.h"
#include "app/tooling/DependencyService.h"
#include "platform/FileCredentialStore.h"
#include "app/dashboard/HomeState.h"
#include "core/MachineAuthService.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>

// The dashboard's model with its real services, for tests that open the
// dashboard window: settings in a temporary file, and the model runtime looked
// for only in an empty temporary folder (never the machine's own).
struct DashboardHome
{
    QTemporaryDir dir;
    FileCredentialStore store;
    MachineAuthService auth{store};
    QNetworkAccessManager network;
    CLIService cli;
    DependencyService dependencies{&network, &cli};
    QSettings settings{QDir(dir.path()).filePath(QStringLiteral("settings.ini")), QSettings::IniFormat};
    HomeState state{cli, dependencies, auth, network, settings};

    DashboardHome() { dependencies.setKnownPaths({dir.path()}); }
};
