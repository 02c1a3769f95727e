#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QMessageBox;

// The question asked before the background service quits, behind an interface
// so that tests can answer it. The answer arrives through the callback, later
// or at once; the alert never runs a nested event loop.
class QuitPrompt
{
public:
    enum class Choice { openUninstall, quitAnyway, cancel };
    using Answer = std::function<void(Choice)>;

    static QString message();
    static QString informativeText();
    // Left to right, in the order added.
    static QStringList buttonTexts();

    virtual ~QuitPrompt() = default;
    // Asks; returns false (and never answers) when a question is already open.
    virtual bool ask(Answer answer) = 0;
};

// The real alert: a warning QMessageBox, opened window-modal and non-blocking.
class MessageBoxQuitPrompt : public QObject, public QuitPrompt
{
    Q_OBJECT

public:
    explicit MessageBoxQuitPrompt(QObject* parent = nullptr);
    ~MessageBoxQuitPrompt() override;
    bool ask(Answer answer) override;

private:
    QPointer<QMessageBox> m_box;
};

// Catches the application's quit requests (QEvent::Quit) and lets a decision
// function grant or refuse each one. A refused request is dropped; a decision
// made later asks for the quit again.
class QuitGuard : public QObject
{
    Q_OBJECT

public:
    using Decide = std::function<bool()>; // true: quit now
    explicit QuitGuard(Decide decide, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Decide m_decide;
};
