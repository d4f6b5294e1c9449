#ifndef VELMOR_CONSOLE_CONSOLESETTINGS_H
#define VELMOR_CONSOLE_CONSOLESETTINGS_H

#include <QRect>
#include <QSettings>
#include <QString>
#include <QVariant>

// The desktop program's settings store, one key at a time. Each getter gives what the program has always taken
// for an absent key and reads the stored text the way its reader needs it; each setter writes the form the store
// has always held. An object opens the store afresh, so it sees whatever was written before it was made: make one
// where a value is needed and do not keep it.
class ConsoleSettings
{
public:
    // The process's store, as QSettings() opens it once the program has named itself.
    ConsoleSettings();
    Q_DISABLE_COPY(ConsoleSettings)

    // "firststart": the program has not run on this computer yet; true when absent.
    bool isFirstStart() const;
    void setFirstStart(bool first);

    // "new-version-checks": the program looks for a newer version of itself; true when absent. The updater owns
    // the flag: everyone else reads and changes it there.
    bool newVersionChecks() const;
    void setNewVersionChecks(bool enabled);

    // "mainwidget-geometry": the window's rectangle when the program last quit, as QSettings writes a QRect; a
    // null rectangle when absent or not a rectangle.
    QRect mainWidgetGeometry() const;
    void setMainWidgetGeometry(const QRect &rect);

    // "language": the name of the locale the texts are shown in, read as text (a value holding commas as its
    // items joined with ","); empty when absent. Empty and "auto" both mean the system's locale.
    QString language() const;

    // "vq-" and the question's name: the answer a question remembers, as stored. The store gives a number back as
    // text, so the caller reads it as its answers' type. Invalid when absent.
    QVariant rememberedAnswer(const QString &question) const;
    // An invalid answer is stored too: the question is then remembered without an answer, and asked again.
    void setRememberedAnswer(const QString &question, const QVariant &answer);

private:
    QSettings m_settings;
};

#endif // VELMOR_CONSOLE_CONSOLESETTINGS_H
