#pragma once

#include "virtualserialline.h"

#include <QByteArray>
#include <QList>
#include <QObject>

namespace testsupport {

// Every write on an in-process line, with its flag, as the line signals it.
class LineRecorder : public QObject
{
public:
    struct Write
    {
        QByteArray bytes;
        bool flag;
    };

    explicit LineRecorder(canservice::VirtualSerialLine *line)
    {
        connect(line, &canservice::VirtualSerialLine::written, this,
                [this](const QByteArray &bytes, bool flag) { m_writes.append({bytes, flag}); });
    }

    QList<Write> writes() const { return m_writes; }
    // The writes so far, forgotten.
    QList<Write> takeWrites()
    {
        QList<Write> taken;
        taken.swap(m_writes);
        return taken;
    }
    // Every byte written so far, writes joined.
    QByteArray writtenBytes() const
    {
        QByteArray all;
        for (const Write &w : m_writes)
            all += w.bytes;
        return all;
    }
    void clearWrites() { m_writes.clear(); }

private:
    QList<Write> m_writes;
};

} // namespace testsupport
