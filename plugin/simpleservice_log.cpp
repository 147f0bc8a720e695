#include "simpleservice_log.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace canservice {
namespace logging {

long threadId()
{
    // The kernel's id, so that a line can be matched with what top, perf or gdb show.
    thread_local const long id = static_cast<long>(::syscall(SYS_gettid));
    return id;
}

// As QDebug writes a character: control characters and anything beyond ASCII escaped.
void item(QString &out, QChar value)
{
    const uint code = value.unicode();
    if (code < 0x20)
        out += QLatin1String("\\x") + QString::number(code, 16);
    else if (code < 0x80)
        out += value;
    else
        out += QLatin1String("\\u") + QStringLiteral("%1").arg(code, 4, 16, QLatin1Char('0'));
}

void output(QtMsgType type, int line, const char *function, const QString &message)
{
    const QMessageLogContext context("simpleservice", line, function, "default");
    qt_message_output(type, context, message);
}

} // namespace logging
} // namespace canservice
