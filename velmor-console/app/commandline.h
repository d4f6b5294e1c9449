#ifndef VELMOR_CONSOLE_COMMANDLINE_H
#define VELMOR_CONSOLE_COMMANDLINE_H

#include <QString>
#include <QStringList>

// What a start of the program asks for. Options match exactly, anywhere after the program path.
struct CommandLine
{
    bool close = false; // "-c": close the running copy; never starts the tray program
    bool unlock = false; // "-p [reason]": ask for the settings to be unlocked
    QString reason; // the argument after "-p", unless there is none or it is an option
    bool hidden = false; // "-h": do not show the main window at start
    bool activate = false; // "-a": also activate and raise a window shown at start
    bool help = false; // "--help": print the options and exit
    QStringList unknown; // arguments that are neither the program's options nor Qt's own

    static CommandLine parse(const QStringList &arguments);
    // The options, as "--help" prints them.
    static QString usage();
};

// The copies of one user share this id: "velmor-agent%1" followed by the user's security identifier.
QString instanceId();

// The messages one copy sends the running one.
namespace InstanceMessage {
inline const QString close = QStringLiteral("close");
inline const QString show = QStringLiteral("1");
// "unlock " and the reason.
QString unlock(const QString &reason);
// Whether a received message asks for an unlock, and its reason: the text after the last blank (the whole
// message when there is none).
bool isUnlock(const QString &message);
QString unlockReason(const QString &message);
} // namespace InstanceMessage

#endif // VELMOR_CONSOLE_COMMANDLINE_H
