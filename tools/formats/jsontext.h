#pragma once

#include <QJsonValue>
#include <QString>
#include <QVariant>

namespace tool {
// JSON values written as QJsonDocument's compact form writes them, without a document for each:
// the printer writes a line for every change, and these are most of its work.
namespace json {
// A number: whole ones without a fraction, others in their shortest form; null when not finite.
void appendNumber(QString &out, double value);
// Seconds given in milliseconds, as appendNumber writes ms / 1000.0, without its cost.
void appendMilliseconds(QString &out, qint64 ms);
// A text in quotes, escaped as Qt escapes it.
void appendString(QString &out, const QString &text);
// A reading's value: null, a bool, a number or a text.
void appendValue(QString &out, const QVariant &value);
QString text(const QJsonValue &value);
// A time in milliseconds since the epoch as ISO 8601 in UTC with milliseconds, as
// QDateTime::toString(Qt::ISODateWithMs) writes it.
QString isoTime(qint64 ms);
void appendIsoTime(QString &out, qint64 ms);
} // namespace json
} // namespace tool
