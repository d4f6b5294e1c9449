#ifndef VELMOR_CONSOLE_UNLOCKFLAG_H
#define VELMOR_CONSOLE_UNLOCKFLAG_H

#include <QSharedMemory>
#include <QString>

// The one-byte answer of the unlock hand-shake, shared between the asking copy, which creates it, and the
// running copy, which writes the answer. Its key carries the user and the login session: System V keys are
// seen by every user of the machine.
class UnlockFlag
{
public:
    enum Value : quint8 {
        NoAnswer = 0,
        Granted = 1,
        Canceled = 2,
    };

    static QString key();

    // Asking side: creates the segment holding NoAnswer. A segment left by an asking copy that was killed is
    // reclaimed; one that a live copy still holds is not, and false is returned.
    bool create();
    // The byte, read under the segment's lock; 0 when the segment is not held.
    quint8 value();

    // Answering side: writes the byte when an asking copy still holds the segment; false when none does.
    static bool answer(Value value);

private:
    QSharedMemory m_memory { key() };
};

#endif // VELMOR_CONSOLE_UNLOCKFLAG_H
