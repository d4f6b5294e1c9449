#ifndef VELMOR_CONSOLE_UNLOCKER_H
#define VELMOR_CONSOLE_UNLOCKER_H

#include "unlockflag.h"

#include <QObject>

class QTimer;

// The asking side of the unlock hand-shake: a start with "-p" while a copy runs asks that copy to unlock the
// settings and ends with its answer: 100 granted, 101 cancelled, 0 for anything else.
class Unlocker : public QObject
{
    Q_OBJECT

public:
    enum ExitCode {
        NoAnswer = 0,
        Granted = 100,
        Canceled = 101,
    };

    Unlocker(const QString &reason, QObject *parent = nullptr);
    ~Unlocker() override;

private Q_SLOTS:
    void checkForComplete();

private:
    Q_DISABLE_COPY(Unlocker)

    void finish(int code);

    UnlockFlag m_flag;
    QTimer *m_timer;
};

#endif // VELMOR_CONSOLE_UNLOCKER_H
