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
// A text in quotes, escaped as Qt escapes it.
void appendString(QString &out, const QString &text);
// A reading's value: null, a bool, a number or a text.
void appendValue(QString &out, const QVariant &value);
QString text(const QJsonValue &value);
} // namespace json
} // namespace tool
