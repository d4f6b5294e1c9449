#ifndef VELMOR_CONSOLE_IPVALIDATOR_H
#define VELMOR_CONSOLE_IPVALIDATOR_H

#include <QRegularExpressionValidator>

// The address fields of the DNS address dialog: four groups of one to three digits, each optionally followed
// by underscores, joined by dots. A group above 255 or with a leading zero is refused as it is typed: "010"
// would be read as octal by some and as ten by others, and the service refuses it.
class IpValidator : public QRegularExpressionValidator
{
    Q_OBJECT

public:
    explicit IpValidator(QObject *parent = nullptr);
    ~IpValidator() override;

    State validate(QString &input, int &pos) const override;

private:
    Q_DISABLE_COPY(IpValidator)
};

#endif // VELMOR_CONSOLE_IPVALIDATOR_H
