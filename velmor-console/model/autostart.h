#ifndef VELMOR_CONSOLE_AUTOSTART_H
#define VELMOR_CONSOLE_AUTOSTART_H

// The program's entry among what the user's session starts, started hidden ("-h").
bool isAutostartEnabled();
// Writes the entry with the program's current path, or removes it.
void setAutostartEnabled(bool enabled);

#endif // VELMOR_CONSOLE_AUTOSTART_H
