import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The climate block as the box reports it, and the keys a head unit sends; the box's next status
// shows what a key did.
Panel {
    title: "Climate (" + (car.values["CanBox.Climate.IsManualMode"] ? "manual" : "automatic") + ")"
    readonly property var v: car.values

    function temperature(name, limit) {
        if (v[limit] !== undefined && v[limit] !== null)
            return v[limit]
        return Theme.shown(v[name] === undefined ? undefined : v[name].toFixed(1), "°C")
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 8
        RowLayout {
            Layout.fillWidth: true
            Text {
                objectName: "climate.left"
                Layout.fillWidth: true
                text: temperature("Vehicle.Cabin.HVAC.Station.Row1.Driver.Temperature", "CanBox.Climate.DriverLimit")
                color: Theme.text
                font.pixelSize: 30
            }
            Text {
                objectName: "climate.right"
                text: temperature("Vehicle.Cabin.HVAC.Station.Row1.Passenger.Temperature", "CanBox.Climate.PassengerLimit")
                color: Theme.text
                font.pixelSize: 30
            }
        }
        Text {
            objectName: "climate.details"
            text: "fan " + Theme.shown(v["CanBox.Climate.FanLevel"]) + " of 7   wind mode code "
                  + Theme.shown(v["CanBox.Climate.WindModeCode"]) + "   rear "
                  + Theme.shown(v["CanBox.Climate.RearTemperature"], "°C") + "   display "
                  + Theme.shown(v["CanBox.Climate.DisplayUnit"])
            color: Theme.dim
            font.pixelSize: 13
        }
        Flow {
            Layout.fillWidth: true
            spacing: 6
            Flag { label: "on"; on: v["CanBox.Climate.IsOn"] }
            Flag { objectName: "climate.ac"; label: "AC"; on: v["Vehicle.Cabin.HVAC.IsAirConditioningActive"] }
            Flag { label: "auto"; on: v["CanBox.Climate.IsAuto"] }
            Flag { label: "dual"; on: v["CanBox.Climate.IsDual"] }
            Flag { label: "recirculation"; on: v["Vehicle.Cabin.HVAC.IsRecirculationActive"] }
            Flag { label: "front defrost"; on: v["Vehicle.Cabin.HVAC.IsFrontDefrosterActive"] }
            Flag { label: "rear defrost"; on: v["Vehicle.Cabin.HVAC.IsRearDefrosterActive"] }
            Flag { label: "AC max"; on: v["CanBox.Climate.IsAcMax"] }
            Flag { label: "glass heat"; on: v["CanBox.Climate.IsGlassHeatActive"] }
            Flag { label: "wheel heat"; on: v["CanBox.Climate.IsSteeringWheelHeatActive"] }
            Flag { label: "rear climate"; on: v["CanBox.Climate.IsRearClimateOn"] }
        }
        Item { Layout.fillHeight: true }
        GridLayout {
            columns: 3
            Layout.fillWidth: true
            Button { objectName: "key.temperatureUp"; text: "Temp +"; onClicked: car.climateKey(19) }
            Button { objectName: "key.temperatureDown"; text: "Temp \u2212"; onClicked: car.climateKey(20) }
            Button { objectName: "key.windMode"; text: "Wind mode"; onClicked: car.climateKey(31) }
            SpinBox { id: keyNumber; from: 0; to: 34; value: 0; editable: true }
            Button { objectName: "key.other"; text: "Send key " + keyNumber.value; onClicked: car.climateKey(keyNumber.value) }
        }
    }
}
