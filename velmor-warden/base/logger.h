#ifndef VELMOR_LOGGER_H
#define VELMOR_LOGGER_H

#include <QtGlobal>

namespace Velmor {

// A replaceable printf-style log sink that any thread may write to.
class Logger
{
public:
    // The levels of the Qt message functions.
    enum MsgType { DebugMsg = 0, WarningMsg = 1, CriticalMsg = 2, FatalMsg = 3 };

    // Texts are cut to fit a buffer of this many characters, the terminating zero included.
    static constexpr int BufferSize = 1024;

    Logger();
    // Destroying the installed logger uninstalls it.
    virtual ~Logger();

    // The sink; this one writes the text as it is to the standard error stream.
    virtual void writeString(MsgType type, const char *text);

    // Formats the text and passes it to the installed logger; with none installed nothing is written.
    static void write(MsgType type, const char *format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(2, 3);

    static Logger *instance();
    // Deletes the installed logger and installs this one, which belongs to the registry from then on.
    // Installing the logger that is already installed keeps it.
    static void setLogger(Logger *logger);

private:
    Q_DISABLE_COPY(Logger)

    static Logger *_instance;
};

} // namespace Velmor

#endif // VELMOR_LOGGER_H
