#pragma once

#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

namespace tool {

// What a scenario value may be, as a rule that says what is wrong with a value, or nothing.
// Rules nest: an object rule names its members, and a problem deep inside says where it is
// ("fan: 99 is not a whole number from 0 to 7").
using ValueCheck = std::function<QString(const QJsonValue &)>;

namespace check {
ValueCheck boolean();
ValueCheck integer(qint64 low, qint64 high);
ValueCheck number(double low, double high);
ValueCheck text(int maxBytes);
ValueCheck oneOf(const QStringList &words);
ValueCheck either(ValueCheck first, ValueCheck second);
// An object with only these members, each optional.
ValueCheck object(const QList<QPair<QString, ValueCheck>> &members);
// An array of exactly count items (any number when count is -1).
ValueCheck array(ValueCheck item, int count = -1);
} // namespace check

} // namespace tool
