#pragma once

#include "app/dashboard/HomeState.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWindow>

#include <functional>

class ViewFactory;
class WizardState;

// The shell's windows: decides at start-up whether the wizard or the tray
// service runs, opens the wizard and dashboard windows, finishes the wizard,
// and applies the rules for closing them. Shows the wizard model and the
// HomeState the composition root made.
class ShellWindows : public QObject
{
    Q_OBJECT

public:
    // What the windows ask of the running tray shell. Each hook may
    // be empty (the shell is gone): the call then does nothing.
    struct Shell
    {
        std::function<void()> setUpStatusItem;
        std::function<void()> startServices;
        std::function<void()> allowTermination;
        std::function<void()> terminate;
    };

    // home: the dashboard's model; without one the dashboard does not open.
    // quorvaneDirectory: empty means the account's ~/.quorvane. The models
    // must outlive the windows.
    explicit ShellWindows(WizardState& wizard, HomeState* home = nullptr, QString quorvaneDirectory = {},
                          QObject* parent = nullptr);
    ~ShellWindows() override;

    void setShell(Shell shell) { m_shell = std::move(shell); }
    // Tests: where the windows come from (default: the views library).
    void setViews(std::function<ViewFactory*()> views) { m_views = std::move(views); }

    // True when machine/approver-only exists, or some non-hidden entry of
    // agents/ holds a config.json.
    bool isSetupComplete() const;
    static bool isSetupComplete(const QString& quorvaneDirectory);

    void showWizard();
    void showDashboard();
    void finishWizard();
    // The closing rules for one of our windows; runs deferred after a close.
    void windowWillClose(QWindow* window);

    WizardState& wizardState() { return m_wizardState; }
    HomeState* home() const { return m_home; }
    // QQuickViews while open, else nullptr.
    QWindow* wizardWindow() const { return m_wizardWindow.data(); }
    QWindow* dashboardWindow() const { return m_dashboardWindow.data(); }
    bool hasVisibleWindow() const;

Q_SIGNALS:
    void wizardWindowChanged();
    void dashboardWindowChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWindow* makeWindow(const QString& qmlPath, const QString& propertyName, QObject* model);
    // The status item and the services (the tray shell makes them once only).
    void startTrayService();
    static void front(QWindow* window);

    QString m_quorvaneDirectory;
    WizardState& m_wizardState;
    QPointer<HomeState> m_home;
    QPointer<QWindow> m_wizardWindow;
    QPointer<QWindow> m_dashboardWindow;
    Shell m_shell;
    std::function<ViewFactory*()> m_views;
};
