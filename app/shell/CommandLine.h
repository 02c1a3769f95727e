#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QUrl>

class QCoreApplication;

// The program's command line: "--help", "--version", quorvane: URLs to open,
// and the hidden "--report-ready" that the tests read.
class CommandLine
{
public:
    CommandLine();

    // Whether the arguments ask only for text (help or version): then the
    // program answers without a display, before any window system is touched.
    static bool asksForTextOnly(int argc, char* argv[]);
    // Names and version of the program, for the parser and the settings.
    static void describeApplication();

    // Reads the application's arguments; help, version and unknown options
    // print their text and end the process.
    void process(const QCoreApplication& application);

    bool reportReady() const { return m_parser.isSet(m_reportReady); }
    // "--show-pending": the popover with the pending approvals (the desktop
    // entry's action, for desktops without a tray).
    bool showPending() const { return m_parser.isSet(m_showPending); }
    // The positional arguments that are quorvane: URLs.
    QList<QUrl> urls() const;

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_reportReady;
    QCommandLineOption m_showPending;
};
