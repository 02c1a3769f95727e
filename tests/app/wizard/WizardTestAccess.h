#pragma once

#include "app/wizard/WizardState.h"

#include <memory>

class CLIProcess;

// Puts the wizard's step models into the states their work would leave, so that a
// test can look at what the screens and the later steps make of them.
struct WizardTestAccess
{
    static void show(WizardState& state, WizardState::WizardScreen screen) { state.setCurrentScreen(screen); }

    static void signIn(AccountSignIn& account, const QString& token, const QString& email)
    {
        account.setSession(token, email);
    }
    static void setError(AccountSignIn& account, const QString& message) { account.setErrorMessage(message); }

    static void setRunning(InstallPhase& install, bool running) { install.setRunning(running); }
    static void setError(InstallPhase& install, const QString& message) { install.setErrorMessage(message); }
    static void setOllamaStatus(InstallPhase& install, const DependencyStatus& status)
    {
        install.setOllamaStatus(status);
    }
    static void setCliStatus(InstallPhase& install, const DependencyStatus& status) { install.setCliStatus(status); }
    static void setCredentialStoreStatus(InstallPhase& install, const DependencyStatus& status)
    {
        install.setCredentialStoreStatus(status);
    }
    static void setMachineStatus(InstallPhase& install, const DependencyStatus& status)
    {
        install.setMachineStatus(status);
    }

    static void setDownloading(ModelDownload& download, bool value) { download.setDownloading(value); }
    static void setComplete(ModelDownload& download, bool value) { download.setComplete(value); }
    static void setProgress(ModelDownload& download, double value) { download.setProgress(value); }
    static void setProcess(ModelDownload& download, std::shared_ptr<CLIProcess> process)
    {
        download.m_process = std::move(process);
    }

    static void setProgress(SetupRun& setup, double value) { setup.setProgress(value); }
    static void setTemplateRuleCount(SetupRun& setup, int count) { setup.setTemplateRuleCount(count); }

    static void setWaitingForLLM(ActivityAnalysis& analysis, bool value) { analysis.setWaitingForLLM(value); }
    static void setInProgress(ActivityAnalysis& analysis, bool value) { analysis.setInProgress(value); }
    static void setComplete(ActivityAnalysis& analysis, bool value) { analysis.setComplete(value); }
    static void setError(ActivityAnalysis& analysis, const QString& error) { analysis.setError(error); }
    static void setSuggestionCount(ActivityAnalysis& analysis, int count) { analysis.setSuggestionCount(count); }
};
