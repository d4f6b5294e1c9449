#ifndef VELMOR_TESTS_WRITERCASES_H
#define VELMOR_TESTS_WRITERCASES_H

#include <QList>
#include <QString>
#include <QVariant>

// One row of the writer's table, shared by the QtTest suite (exact text) and by the dumper that hands the
// writer's real output to Python's json module (parsed value).
struct WriterCase
{
    const char *name;
    QVariant input;
    QString text; // the exact text the writer must produce
    QString python; // a Python literal of the value json.loads must give for that text
};

QList<WriterCase> writerCases();

#endif // VELMOR_TESTS_WRITERCASES_H
