#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QMap>
#include <QPair>
#include <QString>

namespace tool {

// The state of the simulated vehicle, and each box message encoded from it exactly as a head
// unit's decoder reads it.
struct VehicleModel
{
    float speed = 0.0f;
    bool speedInMiles = false;
    int rpm = 0;
    int doors = 0; // bit 2 front lid .. bit 7 right front, as the door message carries them
    bool distanceInMiles = false;
    QByteArray climate = QByteArray(8, '\0');
    int frontRadar[4] = {0, 0, 0, 0};
    int rearRadar[4] = {0, 0, 0, 0};
    bool parkingAssist = false;
    QString version = QStringLiteral("CB-SIM 1.0");
    QMap<int, QPair<int, double>> trip; // item -> unit selector, value as shown
    int fuelNow = 0;
    double fuelAverage = 0.0;
    double fuelHistory[3] = {0.0, 0.0, 0.0};
    double mileageTotal = 0.0;
    double mileageSecond = -1.0; // -1: only the total; bytes 7 and 8 are then 0
    bool mileageUnitFlag = false;
    int ambientColour = 0;
    int tyreType = 0;
    int tyreState = 0;

    QByteArray speedMessage() const;
    QByteArray rotationMessage() const;
    QByteArray doorMessage() const;
    QByteArray climateMessage() const { return climate; }
    QByteArray frontRadarMessage() const;
    QByteArray rearRadarMessage() const;
    QByteArray parkingAssistMessage() const;
    QByteArray versionMessage() const;
    QByteArray tripMessage(int item) const;
    QByteArray fuelMessage() const;
    QByteArray fuelHistoryMessage() const;
    QByteArray mileageMessage() const;
    QByteArray lightMessage() const;
    QByteArray ambientMessage() const;
    QByteArray tyreMessage() const;

    bool manualClimate() const { return climate.at(4) & 0x08; }
    bool fahrenheit() const { return climate.at(4) & 0x40; }
    // The climate block switched to the other unit: its temperatures go with it (in manual mode,
    // where bytes 2 and 6 hold temperatures, not the automatic level).
    void setFahrenheit(bool on);
};

// One scheduled change of a scenario: at a time, a JSON object of what changes.

// The door names scenarios use, for bits 2 (front lid) to 7 (right front).
extern const char *const DoorNames[6];

// Degrees, or "LO" / "HI", as the climate block's temperature index in the given unit.
// A temperature (or "LO", "HI") as the block's index in its unit. A number that cannot be a
// setting in that unit (below 40 in °F, 40 or more in °C) is taken as the other unit's and
// converted; converted then says so.
int temperatureIndex(const QJsonValue &value, bool fahrenheit, bool *converted = nullptr);
// The same temperature in the other unit's index, to the nearest half degree.
int convertedTemperatureIndex(int index, bool toFahrenheit);
void setBit(QByteArray &bytes, int index, int bit, bool on);

} // namespace tool
