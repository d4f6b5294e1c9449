#ifndef VELMOR_CONSOLE_LISTKIND_H
#define VELMOR_CONSOLE_LISTKIND_H

// What a list of the filter settings holds, which decides how a list editor takes a new row: typed in place,
// checked as typed, or asked for in the add dialog.
enum ListKind {
    // Profile names, typed in place.
    NameList = 0,
    // Domains, typed in place and checked as typed.
    DomainList = 1,
    // Domains with an IPv4 address, asked for in a dialog.
    AliasList = 2,
};

#endif // VELMOR_CONSOLE_LISTKIND_H
