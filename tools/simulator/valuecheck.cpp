#include "valuecheck.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace tool {

namespace {
QString shown(const QJsonValue &value)
{
    if (value.isString())
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    const QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(text.mid(1, text.size() - 2));
}
} // namespace

namespace check {
ValueCheck boolean()
{
    return [](const QJsonValue &v) {
        return v.isBool() ? QString() : QStringLiteral("%1 is not true or false").arg(shown(v));
    };
}

ValueCheck integer(qint64 low, qint64 high)
{
    return [low, high](const QJsonValue &v) {
        const double d = v.toDouble();
        if (v.isDouble() && std::isfinite(d) && d == std::floor(d) && d >= double(low) && d <= double(high))
            return QString();
        return QStringLiteral("%1 is not a whole number from %2 to %3").arg(shown(v)).arg(low).arg(high);
    };
}

ValueCheck number(double low, double high)
{
    return [low, high](const QJsonValue &v) {
        const double d = v.toDouble();
        if (v.isDouble() && std::isfinite(d) && d >= low && d <= high)
            return QString();
        return QStringLiteral("%1 is not a number from %2 to %3").arg(shown(v)).arg(low).arg(high);
    };
}

ValueCheck text(int maxBytes)
{
    return [maxBytes](const QJsonValue &v) {
        if (v.isString() && v.toString().toUtf8().size() <= maxBytes)
            return QString();
        return QStringLiteral("%1 is not a text of at most %2 bytes").arg(shown(v)).arg(maxBytes);
    };
}

ValueCheck oneOf(const QStringList &words)
{
    return [words](const QJsonValue &v) {
        if (v.isString() && words.contains(v.toString()))
            return QString();
        return QStringLiteral("%1 is not one of \"%2\"").arg(shown(v), words.join(QStringLiteral("\", \"")));
    };
}

ValueCheck either(ValueCheck first, ValueCheck second)
{
    return [first, second](const QJsonValue &v) {
        const QString a = first(v);
        if (a.isEmpty() || second(v).isEmpty())
            return QString();
        return a + QStringLiteral(", nor ") + second(v).section(QStringLiteral(" is not "), 1);
    };
}

ValueCheck object(const QList<QPair<QString, ValueCheck>> &members)
{
    return [members](const QJsonValue &v) {
        if (!v.isObject())
            return QStringLiteral("%1 is not an object").arg(shown(v));
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            const auto member = std::find_if(members.cbegin(), members.cend(),
                                             [&](const auto &m) { return m.first == it.key(); });
            if (member == members.cend())
                return QStringLiteral("%1: unknown key").arg(it.key());
            if (const QString problem = member->second(it.value()); !problem.isEmpty())
                return it.key() + QStringLiteral(": ") + problem;
        }
        return QString();
    };
}

ValueCheck array(ValueCheck item, int count)
{
    return [item, count](const QJsonValue &v) {
        const QJsonArray a = v.toArray();
        if (!v.isArray() || (count >= 0 && a.size() != count))
            return count >= 0 ? QStringLiteral("%1 is not a list of %2").arg(shown(v)).arg(count)
                              : QStringLiteral("%1 is not a list").arg(shown(v));
        for (int i = 0; i < a.size(); ++i)
            if (const QString problem = item(a.at(i)); !problem.isEmpty())
                return QStringLiteral("[%1]: %2").arg(i).arg(problem);
        return QString();
    };
}
} // namespace check

} // namespace tool
