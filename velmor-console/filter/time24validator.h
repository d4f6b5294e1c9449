#ifndef VELMOR_CONSOLE_TIME24VALIDATOR_H
#define VELMOR_CONSOLE_TIME24VALIDATOR_H

#include <QValidator>

// Keeps a "hh:mm" field on the quarter hours of one day, 00:00 to 24:00: it corrects rather than refuses.
// Meant for line edits with the input mask "99:99".
class Time24Validator : public QValidator
{
public:
    explicit Time24Validator(QObject *parent);

    State validate(QString &input, int &pos) const override;
};

#endif // VELMOR_CONSOLE_TIME24VALIDATOR_H
