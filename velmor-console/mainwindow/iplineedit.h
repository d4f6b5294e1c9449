#ifndef VELMOR_CONSOLE_IPLINEEDIT_H
#define VELMOR_CONSOLE_IPLINEEDIT_H

#include <QLineEdit>

// A line edit that takes a dotted-quad IPv4 address and nothing else: four groups of 0 to 255, written without
// leading zeros, so the text means what the service will read.
class IPLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit IPLineEdit(QWidget *parent = nullptr);
    ~IPLineEdit() override;

private:
    Q_DISABLE_COPY(IPLineEdit)
};

#endif // VELMOR_CONSOLE_IPLINEEDIT_H
