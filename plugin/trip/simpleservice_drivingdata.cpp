#include "simpleservice.h"

#include "canboxframe.h"
#include "simpleservice_log.h"
#include "simpleservice_payload.h"
#include "translator.h"

namespace canservice {

namespace {
enum class Form {
    W16, // bytes 3..2, unsigned
    W16Tenths, // bytes 3..2, unsigned, one decimal
    W32Tenths, // bytes 5..2, signed, whole tenths dropped
    W24, // bytes 3..1, unsigned
};

enum class Unit {
    Distance, // byte 1 bit 0
    Consumption, // byte 1 bits 0-1
    Speed, // byte 1 bit 0
    Time,
};

struct Item
{
    int code;
    Form form;
    Unit unit;
    QString DrivingData::*field;
};

const Item Items[] = {
    {canbox::trip::DistanceWhole, Form::W16, Unit::Distance, &DrivingData::item4},
    {canbox::trip::Distance1, Form::W32Tenths, Unit::Distance, &DrivingData::item4},
    {canbox::trip::Distance2, Form::W32Tenths, Unit::Distance, &DrivingData::item11},
    {canbox::trip::Distance3, Form::W32Tenths, Unit::Distance, &DrivingData::item17},
    {canbox::trip::Consumption1, Form::W16Tenths, Unit::Consumption, &DrivingData::item7},
    {canbox::trip::Consumption2, Form::W16Tenths, Unit::Consumption, &DrivingData::item15},
    {canbox::trip::Consumption3, Form::W16Tenths, Unit::Consumption, &DrivingData::item9},
    {canbox::trip::Speed1, Form::W16Tenths, Unit::Speed, &DrivingData::item0},
    {canbox::trip::Speed2, Form::W16Tenths, Unit::Speed, &DrivingData::item6},
    {canbox::trip::Speed3, Form::W16Tenths, Unit::Speed, &DrivingData::item12},
    {canbox::trip::Time1, Form::W24, Unit::Time, &DrivingData::item2},
    {canbox::trip::Time2, Form::W24, Unit::Time, &DrivingData::item8},
    {canbox::trip::Time3, Form::W24, Unit::Time, &DrivingData::item14},
    {canbox::trip::Consumption4, Form::W16Tenths, Unit::Consumption, &DrivingData::item3},
};

int unitText(Unit unit, int selector)
{
    switch (unit) {
    case Unit::Distance:
        return selector & 1 ? 1169 : 1145;
    case Unit::Consumption:
        switch (selector & 3) {
        case 0:
            return 1167;
        case 1:
            return 1168;
        default:
            return 1141;
        }
    case Unit::Speed:
        return selector & 1 ? 1205 : 1148;
    case Unit::Time:
        break;
    }
    return 1172;
}

// Decimal digits appended in place: the field keeps its buffer from message to message.
void appendDecimal(QString &text, int value)
{
    char digits[12];
    int at = sizeof digits;
    unsigned magnitude = value < 0 ? 0u - unsigned(value) : unsigned(value);
    do {
        digits[--at] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        digits[--at] = '-';
    text.append(QLatin1String(digits + at, int(sizeof digits) - at));
}

// A tenths value as "%.1f" prints the float quotient: below 2^16 the float is within 0.0005 of
// the exact tenths, so the text is always the whole part, a point and the tenths digit.
void appendTenths(QString &text, int tenths)
{
    appendDecimal(text, tenths / 10);
    text.append(QLatin1Char('.'));
    text.append(QLatin1Char(char('0' + tenths % 10)));
}
} // namespace

// 0x50: one trip-computer value per message: item code, unit selector, value low byte first.
void SimpleService::doDrivingData(int id, QByteArray &paraBuf)
{
    Q_UNUSED(id)
    if (paraBuf.size() != 6)
        return;

    const int code = byteAt(paraBuf, 0);
    const Item *item = nullptr;
    for (const Item &candidate : Items) {
        if (candidate.code == code) {
            item = &candidate;
            break;
        }
    }
    if (!item) {
        emit drivingDataChanged();
        return;
    }

    const int b1 = byteAt(paraBuf, 1), b2 = byteAt(paraBuf, 2), b3 = byteAt(paraBuf, 3);
    // The whole text is replaced: the number, then the unit with no separator.
    QString &field = mDrivingData.*(item->field);
    field.resize(0);
    switch (item->form) {
    case Form::W16:
        appendDecimal(field, combineBytes(b3, b2));
        break;
    case Form::W16Tenths:
        appendTenths(field, combineBytes(b3, b2));
        break;
    case Form::W32Tenths:
        appendDecimal(field, combineBytes(byteAt(paraBuf, 5), byteAt(paraBuf, 4), b3, b2) / 10);
        break;
    case Form::W24:
        appendDecimal(field, combineBytes(b3, b2, b1));
        break;
    }
    field += Translator::translate(unitText(item->unit, b1));
    SS_DBG(field);
    emit drivingDataChanged();
}

int SimpleService::getDrivingData(DrivingData &data)
{
    data = mDrivingData;
    return 0;
}

} // namespace canservice
