#ifndef VELMOR_CONSOLE_APPEARANCE_H
#define VELMOR_CONSOLE_APPEARANCE_H

#include <QString>
#include <QStringList>

// The program's language and look, set once while the Agent starts, before any window exists.

// The folders searched for the program's translation: "translations" beside the program, then in the current
// working directory.
QStringList translationDirectories();

// Installs the program's translator ("velmor-console_<locale>") from the first folder that has it, and the
// library's ("qt_<locale>", beside the program only). The setting "language" names the locale; empty or "auto"
// is the system's. Missing files leave the texts untranslated.
void installTranslators();

// The application palette and style sheet. applyStyle sets the style sheet on the platform's style, whose check
// box squares it keeps drawing.
void applyPalette();
void applyStyle();
QString applicationStyleSheet();

#endif // VELMOR_CONSOLE_APPEARANCE_H
