#pragma once

#include <QDebug>
#include <QLoggingCategory>
#include <QMessageLogger>

// Every line the service logs has one shape:
//   [DBG] <kernel thread id> <function signature> <line> -- <items...>
// with the message context ("simpleservice", line, signature, "default"). Items are written
// unquoted and separated by single blanks. The macros test the level first, so with the level
// disabled nothing is formatted and the items are not even evaluated.

namespace canservice {
namespace logging {

long threadId();

inline bool enabled(QtMsgType type)
{
    const QLoggingCategory *category = QLoggingCategory::defaultCategory();
    return type == QtDebugMsg ? category->isDebugEnabled() : category->isCriticalEnabled();
}

template<typename... Items>
void write(QtMsgType type, int line, const char *function, const Items &...items)
{
    QMessageLogger logger("simpleservice", line, function, "default");
    QDebug out = type == QtDebugMsg ? logger.debug() : logger.critical();
    out.noquote();
    out << (type == QtDebugMsg ? "[DBG]" : "[ERR]") << threadId() << function << line << "--";
    (out << ... << items);
}

} // namespace logging
} // namespace canservice

#define SS_LOG(type, ...)                                                                          \
    do {                                                                                           \
        if (canservice::logging::enabled(type))                                                    \
            canservice::logging::write(type, __LINE__, Q_FUNC_INFO, __VA_ARGS__);                  \
    } while (false)

#define SS_DBG(...) SS_LOG(QtDebugMsg, __VA_ARGS__)
#define SS_ERR(...) SS_LOG(QtCriticalMsg, __VA_ARGS__)
