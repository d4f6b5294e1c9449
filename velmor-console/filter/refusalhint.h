#ifndef VELMOR_CONSOLE_REFUSALHINT_H
#define VELMOR_CONSOLE_REFUSALHINT_H

class QLabel;
class QString;
class QWidget;

// The red line under a field that says why what was typed was not taken: plain text, since it quotes the typing,
// wrapped, and hidden until there is something to say.
QLabel *newRefusalHint(const QString &objectName, QWidget *parent = nullptr);

#endif // VELMOR_CONSOLE_REFUSALHINT_H
