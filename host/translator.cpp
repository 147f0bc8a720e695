#include "translator.h"

QString Translator::translate(int id)
{
    switch (id) {
    case 655:
        return QStringLiteral("Parking assist off");
    case 1141:
        return QStringLiteral("mpg");
    case 1145:
        return QStringLiteral("km");
    case 1148:
        return QStringLiteral("km/h");
    case 1150:
        return QStringLiteral("°C");
    case 1163:
        return QStringLiteral("°F");
    case 1167:
        return QStringLiteral("L/100km");
    case 1168:
        return QStringLiteral("km/L");
    case 1169:
        return QStringLiteral("mi");
    case 1172:
        return QStringLiteral("min");
    case 1177:
        return QStringLiteral("Parking assist on");
    case 1184:
        return QStringLiteral("Vehicle information");
    case 1205:
        return QStringLiteral("mph");
    default:
        return QString();
    }
}
