#include "logcapture.h"

#include <QRegularExpression>

namespace testsupport {

LogCapture *LogCapture::s_current = nullptr;

LogCapture::LogCapture()
{
    m_debugWasEnabled = QLoggingCategory::defaultCategory()->isDebugEnabled();
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, true);
    s_current = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
    s_current = nullptr;
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, m_debugWasEnabled);
}

QStringList LogCapture::items() const
{
    static const QRegularExpression prefix(QStringLiteral("^\\[(DBG|ERR)\\] \\d+ .*? \\d+ -- ?"));
    QStringList out;
    for (const LogEntry &e : m_entries) {
        const auto match = prefix.match(e.message);
        if (match.hasMatch())
            out << e.message.mid(match.capturedLength());
    }
    return out;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!s_current)
        return;
    s_current->m_entries.append({type, QString::fromUtf8(context.category),
                                 QString::fromUtf8(context.file), context.line,
                                 QString::fromUtf8(context.function), message});
}

} // namespace testsupport
