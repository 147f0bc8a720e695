// The snapshot's fields by their stable dotted names.
#include "vehiclesnapshot.h"

namespace tool {

const QString &VehicleSnapshot::name(Field field)
{
    static const QVector<QString> names = [] {
        QVector<QString> n(FieldCount);
        n[Version] = QStringLiteral("version");
        n[Speed] = QStringLiteral("speed");
        n[SpeedUnit] = QStringLiteral("speedUnit");
        n[Rotate] = QStringLiteral("rotate");
        n[Temperature] = QStringLiteral("temperature");
        n[TemperatureText] = QStringLiteral("temperatureText");
        n[TemperatureUnit] = QStringLiteral("temperatureUnit");
        n[TimeAllMileage] = QStringLiteral("timeAllMileage");
        n[OilAllMileage] = QStringLiteral("oilAllMileage");
        n[MileageUnits] = QStringLiteral("mileageUnits");
        n[EmergencyCall] = QStringLiteral("emergencyCall");
        n[DoorStatus] = QStringLiteral("doorStatus");
        n[DoorFrontLid] = QStringLiteral("door.frontLid");
        n[DoorRearLid] = QStringLiteral("door.rearLid");
        n[DoorLeftRear] = QStringLiteral("door.leftRear");
        n[DoorRightRear] = QStringLiteral("door.rightRear");
        n[DoorLeftFront] = QStringLiteral("door.leftFront");
        n[DoorRightFront] = QStringLiteral("door.rightFront");
        n[TyreAlertType] = QStringLiteral("tyre.alertType");
        n[TyrePressureFL] = QStringLiteral("tyre.pressureFL");
        n[TyrePressureFR] = QStringLiteral("tyre.pressureFR");
        n[TyrePressureRL] = QStringLiteral("tyre.pressureRL");
        n[TyrePressureRR] = QStringLiteral("tyre.pressureRR");
        n[TyreUnit] = QStringLiteral("tyre.unit");
        n[ClimatePowerOff] = QStringLiteral("climate.powerOff");
        n[ClimatePowerOffRear] = QStringLiteral("climate.powerOffRear");
        n[ClimateRearClimate] = QStringLiteral("climate.rearClimate");
        n[ClimateAcMax] = QStringLiteral("climate.acMax");
        n[ClimateAc] = QStringLiteral("climate.ac");
        n[ClimateInside] = QStringLiteral("climate.inside");
        n[ClimateAuto] = QStringLiteral("climate.auto");
        n[ClimateDual] = QStringLiteral("climate.dual");
        n[ClimateRearDefrost] = QStringLiteral("climate.rearDefrost");
        n[ClimateFrontDefrost] = QStringLiteral("climate.frontDefrost");
        n[ClimateFrontLeftHeat] = QStringLiteral("climate.frontLeftHeat");
        n[ClimateFrontRightHeat] = QStringLiteral("climate.frontRightHeat");
        n[ClimateRearLeftHeat] = QStringLiteral("climate.rearLeftHeat");
        n[ClimateRearRightHeat] = QStringLiteral("climate.rearRightHeat");
        n[ClimateSteeringWheelHeat] = QStringLiteral("climate.steeringWheelHeat");
        n[ClimateGlassHeat] = QStringLiteral("climate.glassHeat");
        n[ClimateAirCare] = QStringLiteral("climate.airCare");
        n[ClimateProfile] = QStringLiteral("climate.profile");
        n[ClimateLeftVentilation] = QStringLiteral("climate.leftVentilation");
        n[ClimateRightVentilation] = QStringLiteral("climate.rightVentilation");
        n[ClimateWindMode] = QStringLiteral("climate.windMode");
        n[ClimateWindScale] = QStringLiteral("climate.windScale");
        n[ClimateWindModeRear] = QStringLiteral("climate.windModeRear");
        n[ClimateWindScaleRear] = QStringLiteral("climate.windScaleRear");
        n[ClimateShowRequest] = QStringLiteral("climate.showRequest");
        n[ClimateLeft] = QStringLiteral("climate.left");
        n[ClimateRight] = QStringLiteral("climate.right");
        n[ClimateRear] = QStringLiteral("climate.rear");
        n[ClimateUnit] = QStringLiteral("climate.unit");
        n[ClimateRightUnit] = QStringLiteral("climate.rightUnit");
        n[ClimateAirCleaning] = QStringLiteral("climate.airCleaning");
        n[ClimateManual] = QStringLiteral("climate.manual");
        n[ClimateDualControllable] = QStringLiteral("climate.dualControllable");
        n[RadarStatus] = QStringLiteral("radar.status");
        n[OtherInfoFlag] = QStringLiteral("other.infoFlag");
        n[CarSettingState0] = QStringLiteral("carSetting.state0");
        n[CarSettingColorPosition] = QStringLiteral("carSetting.colorPosition");
        n[CarSettingColorIndex] = QStringLiteral("carSetting.colorIndex");
        n[CarSettingState3] = QStringLiteral("carSetting.state3");
        n[CarSettingState4] = QStringLiteral("carSetting.state4");
        n[CarSettingValueText] = QStringLiteral("carSetting.valueText");
        n[CarSettingState12] = QStringLiteral("carSetting.state12");
        n[CarSettingState13] = QStringLiteral("carSetting.state13");
        n[CarSettingState14] = QStringLiteral("carSetting.state14");
        n[CarSettingState15] = QStringLiteral("carSetting.state15");
        n[CarSettingState16] = QStringLiteral("carSetting.state16");
        n[AmbientStatus] = QStringLiteral("ambientStatus");
        static const char *const sensors[] = {"frontLeft", "frontMiddleLeft", "frontMiddleRight", "frontRight", "rearLeft", "rearMiddleLeft", "rearMiddleRight", "rearRight", "leftFront", "leftMiddleFront", "leftMiddleRear", "leftRear", "rightFront", "rightMiddleFront", "rightMiddleRear", "rightRear"};
        for (int i = 0; i < 16; ++i)
            n[Radar + i] = QStringLiteral("radar.") + QLatin1String(sensors[i]);
        n[RadarStatus] = QStringLiteral("radar.status");
        for (int i = 0; i < 9; ++i)
            n[Other + i] = QStringLiteral("other.info%1").arg(i);
        n[OtherParkingAssistText] = QStringLiteral("other.parkingAssistText");
        n[OtherInfoFlag] = QStringLiteral("other.infoFlag");
        for (int i = 0; i < 18; ++i)
            n[Driving + i] = QStringLiteral("driving.item%1").arg(i);
        for (int i = 0; i < 6; ++i)
            n[Fuel + i] = QStringLiteral("fuel.fuel%1").arg(i);
        const char *const setting[] = {"state0", "colorPosition", "colorIndex", "state3", "state4",
                                       "valueText", "state12", "state13", "state14", "state15", "state16"};
        for (int i = 0; i < 11; ++i)
            n[CarSettingState0 + i] = QStringLiteral("carSetting.") + QLatin1String(setting[i]);
        n[AmbientStatus] = QStringLiteral("ambientStatus");
        for (int i = 0; i < UnitData::EntryCount; ++i) {
            n[Units + 3 * i] = QStringLiteral("units.maxLevel%1").arg(i);
            n[Units + 3 * i + 1] = QStringLiteral("units.level%1").arg(i);
            n[Units + 3 * i + 2] = QStringLiteral("units.text%1").arg(i);
        }
        return n;
    }();
    return names.at(field);
}

} // namespace tool
