#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

class CanServiceBase;

// What every command of the tool shares: the plugin's log lines kept out of the way (and
// counted), and the link's health read off the line.
struct LinkHealth
{
    int framesAccepted = 0;
    int checksumErrors = 0;
    int receiveTimeouts = 0;
    int linkLosses = 0;
    int lineLosses = 0;
    qint64 droppedWrites = 0;
    qint64 bytesReceived = 0;

    QString text() const;
};

namespace tool {
// Installs the message handler; plugin lines go to stderr only when verbose.
void installLogHandler(bool verbose, LinkHealth *health);
// Counts the acknowledgements the head unit writes: one per frame, FF accepted, F0 refused.
void countAcknowledgements(LinkHealth *health);
QTextStream &out();
QTextStream &err();

int demo(const QStringList &arguments);
int monitor(const QStringList &arguments);
int replay(const QStringList &arguments);
int sim(const QStringList &arguments);
} // namespace tool
