#ifndef VELMOR_CONSOLE_TIME24VALIDATOR_H
#define VELMOR_CONSOLE_TIME24VALIDATOR_H

#include <QValidator>

// Takes a "hh:mm" field's text when it is a quarter hour of one day, 00:00 to 24:00; anything else made of digits
// is only not taken yet, and never changed into another time. Meant for line edits with the input mask "99:99".
class Time24Validator : public QValidator
{
public:
    explicit Time24Validator(QObject *parent);

    State validate(QString &input, int &pos) const override;
};

#endif // VELMOR_CONSOLE_TIME24VALIDATOR_H
