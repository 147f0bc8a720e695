#pragma once

#include <QList>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace testsupport {

struct LogEntry
{
    QtMsgType type;
    QString category;
    QString file;
    int line;
    QString function;
    QString message;
};

// Collects every message while it lives, with the default category's debug output on.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();

    QList<LogEntry> entries() const { return m_entries; }
    // The messages' texts after "<line> -- ", i.e. what the service logged as items.
    QStringList items() const;
    void clear() { m_entries.clear(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);

    QList<LogEntry> m_entries;
    QtMessageHandler m_previous;
    bool m_debugWasEnabled;
    static LogCapture *s_current;
};

} // namespace testsupport
