#include "csvwriter.h"

#include "jsontext.h"
#include "printable.h"
#include "sessionmodel.h"
#include "vehiclestate.h"

#include <algorithm>

namespace tool {

CsvWriter::CsvWriter(SessionModel &session, const QVector<int> &columns, QTextStream &out, bool terminal,
                     bool watched, bool byteOrderMark, QObject *parent)
    : QObject(parent),
      m_session(session),
      m_state(session.vehicle()),
      m_columns(columns),
      m_columnOf(SignalCatalogue::vehicleSignals().size(), -1),
      m_out(out),
      m_terminal(terminal),
      m_watched(watched)
{
    const QVector<Reading> &now = m_state->readings();
    for (int entry : columns)
        m_values << now.at(entry);
    for (int c = 0; c < columns.size(); ++c)
        m_columnOf[columns.at(c)] = c;
    connect(m_state, &VehicleState::changed, this, &CsvWriter::changed);
    // A row is complete once the clock has moved on: a millisecond later, on any clock.
    m_rowDone.setSingleShot(true);
    m_rowDone.setTimerType(Qt::PreciseTimer);
    m_rowDone.setInterval(1);
    connect(&m_rowDone, &QTimer::timeout, this, &CsvWriter::writeRow);

    QString header = byteOrderMark ? QStringLiteral("\uFEFF") : QString();
    header += field(QStringLiteral("time (s)"));
    for (int entry : columns)
        for (const QString &name : columnNames(entry))
            header += QLatin1Char(',') + field(name);
    // RFC 4180 ends every record with CR LF.
    m_out << header << "\r\n";
    m_out.flush();
}

QString CsvWriter::field(const QString &text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    for (const QChar c : text) {
        if (special.contains(c)) {
            QString quoted = text;
            quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            return QLatin1Char('"') + quoted + QLatin1Char('"');
        }
    }
    return text;
}

bool CsvWriter::unitVaries(int entry)
{
    return SignalCatalogue::vehicleSignals().at(entry).unit == QLatin1String("varies");
}

QStringList CsvWriter::columnNames(int entry)
{
    const SignalInfo &info = SignalCatalogue::vehicleSignals().at(entry);
    if (unitVaries(entry))
        return {info.name, info.name + QStringLiteral(" unit")};
    return {info.unit.isEmpty() ? info.name : info.name + QStringLiteral(" (") + info.unit + QLatin1Char(')')};
}

QStringList CsvWriter::cells(int entry, const Reading &reading, bool terminal)
{
    QString text;
    if (reading.isNull()) {
    } else if (reading.value.type() == QVariant::String) {
        text = reading.value.toString();
        if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.at(0)))
            text.prepend(QLatin1Char('\''));
    } else {
        json::appendValue(text, reading.value);
    }
    if (!unitVaries(entry)) {
        // A unit other than the column's follows the number.
        if (!reading.isNull() && !reading.unit.isEmpty()
            && reading.unit != SignalCatalogue::vehicleSignals().at(entry).unit)
            text += QLatin1Char(' ') + reading.unit;
        return {terminal ? printable(text) : text};
    }
    return {terminal ? printable(text) : text, terminal ? printable(reading.unit) : reading.unit};
}

void CsvWriter::changed(const QVector<int> &entries)
{
    const bool chosen = std::any_of(entries.cbegin(), entries.cend(),
                                    [this](int entry) { return m_columnOf.at(entry) >= 0; });
    if (!chosen)
        return;
    const qint64 now = m_session.ms();
    if (m_pendingMs != now) // a row pending of another instant (none pending: -1, nothing to write)
        writeRow();
    m_pendingMs = now;
    const QVector<Reading> &readings = m_state->readings();
    for (int entry : entries)
        if (const int column = m_columnOf.at(entry); column >= 0)
            m_values[column] = readings.at(entry);
    if (m_watched)
        m_rowDone.start();
}

void CsvWriter::writeRow()
{
    m_rowDone.stop();
    if (m_pendingMs < 0)
        return;
    // The values of that instant: the state may already hold the next one's.
    QString row = QString::number(m_pendingMs / 1000.0, 'f', 3);
    for (int c = 0; c < m_columns.size(); ++c)
        for (const QString &text : cells(m_columns.at(c), m_values.at(c), m_terminal))
            row += QLatin1Char(',') + field(text);
    m_out << row << "\r\n";
    m_pendingMs = -1;
    // Whoever watches gets each row as it is made; a replay's reader gets them in blocks.
    if (m_watched)
        m_out.flush();
}

} // namespace tool
