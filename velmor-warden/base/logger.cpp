#include "logger.h"

#include "mutex.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace Velmor {

Logger *Logger::_instance = nullptr;

namespace {

// Held while a text is written, so a logger cannot be deleted under a writer; recursive, so a sink may log.
const mutex &registryLock()
{
    static const mutex *lock = new mutex;
    return *lock;
}

} // namespace

Logger::Logger() = default;

Logger::~Logger()
{
    std::lock_guard<const mutex> guard(registryLock());
    if (_instance == this)
        _instance = nullptr;
}

void Logger::writeString(MsgType type, const char *text)
{
    Q_UNUSED(type);
    std::fputs(text, stderr);
}

void Logger::write(MsgType type, const char *format, ...)
{
    std::lock_guard<const mutex> guard(registryLock());
    if (!_instance)
        return;
    char text[BufferSize];
    text[0] = '\0';
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    _instance->writeString(type, text);
}

Logger *Logger::instance()
{
    std::lock_guard<const mutex> guard(registryLock());
    return _instance;
}

void Logger::setLogger(Logger *logger)
{
    std::lock_guard<const mutex> guard(registryLock());
    if (logger == _instance)
        return;
    Logger *previous = _instance;
    _instance = logger;
    delete previous;
}

} // namespace Velmor
