// Prints one line per row of the writer's table: name, the writer's real output in UTF-8 as a Python bytes literal,
// and the Python literal of the value it must parse to, separated by tabs.
#include "velmorwire/json.h"
#include "writercases.h"

#include <cstdio>

namespace {

// The links send the text as UTF-8, so that is what the peer parses. Only printable ASCII goes out as is, so
// raw control characters of the output survive the line format.
QByteArray pythonBytesLiteral(const QString &text)
{
    QByteArray literal = "b'";
    for (char byte : text.toUtf8()) {
        const unsigned char u = byte;
        if (u >= 0x20 && u < 0x7f && u != '\\' && u != '\'')
            literal += char(u);
        else
            literal += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
    }
    return literal + "'";
}

} // namespace

int main()
{
    for (const WriterCase &row : writerCases()) {
        const QByteArray line = QByteArray(row.name) + '\t' + pythonBytesLiteral(Velmor::Json::stringify(row.input))
            + '\t' + row.python.toUtf8() + '\n';
        std::fwrite(line.constData(), 1, line.size(), stdout);
    }
    return 0;
}
