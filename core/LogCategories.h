#pragma once

#include <QLoggingCategory>

// One logging category per module, so that QT_LOGGING_RULES can quiet or
// select one ("quorvane.sync.info=false"). Their lines go to the system log
// (see SystemLog).
Q_DECLARE_LOGGING_CATEGORY(lcConfig)    // quorvane.config: origins and overrides
Q_DECLARE_LOGGING_CATEGORY(lcIdentity)  // quorvane.identity: machine identity and signing
Q_DECLARE_LOGGING_CATEGORY(lcSync)      // quorvane.sync: the approvals stream, poll and decisions
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)    // quorvane.update: the update check and install
Q_DECLARE_LOGGING_CATEGORY(lcPush)      // quorvane.push: the push-token upload
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)  // quorvane.platform: credential stores, machine id, runner
Q_DECLARE_LOGGING_CATEGORY(lcTrust)     // quorvane.trust: presence confirmation, trust window
Q_DECLARE_LOGGING_CATEGORY(lcShell)     // quorvane.shell: start-up, tray, popover, single instance
Q_DECLARE_LOGGING_CATEGORY(lcPanel)     // quorvane.panel: the approvals panel
Q_DECLARE_LOGGING_CATEGORY(lcWizard)    // quorvane.wizard: the wizard and its windows
Q_DECLARE_LOGGING_CATEGORY(lcDashboard) // quorvane.dashboard: the dashboard and the model runtime
Q_DECLARE_LOGGING_CATEGORY(lcTooling)   // quorvane.tooling: the product tool and dependencies
Q_DECLARE_LOGGING_CATEGORY(lcViews)     // quorvane.views: loading the Qt Quick library
