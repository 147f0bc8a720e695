import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The climate block as the box reports it, and the keys a head unit sends; the box's next status
// shows what a key did. In the block's mode 0 the box reports one temperature level, not degrees.
Panel {
    readonly property var v: car.values
    readonly property bool fahrenheit: Theme.climateFahrenheit(v)
    readonly property bool degrees: v["CanBox.Climate.IsManualMode"] === true
    title: "Climate" + (v["CanBox.Climate.IsOn"] === false ? " \u00b7 off" : "")
    contentHeight: column.implicitHeight

    function temperature(name, limit) {
        return Theme.has(v[limit]) ? v[limit] : Theme.temperature(v[name], fahrenheit)
    }

    ColumnLayout {
        id: column
        anchors.fill: parent
        spacing: Theme.px(6)
        RowLayout {
            Layout.fillWidth: true
            Line {
                objectName: "climate.left"
                size: 30
                text: degrees ? temperature("Vehicle.Cabin.HVAC.Station.Row1.Driver.Temperature", "CanBox.Climate.DriverLimit")
                              : Theme.has(car.climateLevel) ? "Level " + car.climateLevel : "\u2014"
            }
            Line {
                objectName: "climate.right"
                visible: degrees
                size: 30
                horizontalAlignment: Text.AlignRight
                text: temperature("Vehicle.Cabin.HVAC.Station.Row1.Passenger.Temperature", "CanBox.Climate.PassengerLimit")
            }
        }
        Line {
            objectName: "climate.details"
            size: 13
            color: Theme.dim
            wrapMode: Text.Wrap
            maximumLineCount: 2
            text: (v["CanBox.Climate.IsManualMode"] === false ? "Temperature as the level the box reports \u00b7 " : "")
                  + "fan " + Theme.shown(v["CanBox.Climate.FanLevel"]) + " of 7 \u00b7 rear "
                  + Theme.temperature(v["CanBox.Climate.RearTemperature"], fahrenheit) + " \u00b7 outside "
                  + Theme.temperature(v["Vehicle.Exterior.AirTemperature"],
                                      v["CanBox.OutsideTemperature.DisplayUnit"] === "°F")
                  + " \u00b7 air distribution code " + Theme.shown(v["CanBox.Climate.WindModeCode"])
        }
        Flow {
            Layout.fillWidth: true
            spacing: Theme.px(5)
            Flag { objectName: "climate.ac"; label: "A/C"; on: v["Vehicle.Cabin.HVAC.IsAirConditioningActive"] }
            Flag { label: "auto"; on: v["CanBox.Climate.IsAuto"] }
            Flag { label: "dual"; on: v["CanBox.Climate.IsDual"] }
            Flag { label: "recirculation"; on: v["Vehicle.Cabin.HVAC.IsRecirculationActive"] }
            Flag { label: "front defrost"; on: v["Vehicle.Cabin.HVAC.IsFrontDefrosterActive"] }
            Flag { label: "rear defrost"; on: v["Vehicle.Cabin.HVAC.IsRearDefrosterActive"] }
            Flag { label: "A/C max"; on: v["CanBox.Climate.IsAcMax"] }
            Flag { label: "glass heat"; on: v["CanBox.Climate.IsGlassHeatActive"] }
            Flag { label: "wheel heat"; on: v["CanBox.Climate.IsSteeringWheelHeatActive"] }
            Flag { label: "rear climate"; on: v["CanBox.Climate.IsRearClimateOn"] }
        }
        Item { Layout.fillHeight: true }
        Flow {
            Layout.fillWidth: true
            spacing: Theme.px(6)
            Key { objectName: "key.temperatureDown"; text: "Temp \u2212"; onClicked: car.climateKey(20) }
            Key { objectName: "key.temperatureUp"; text: "Temp +"; onClicked: car.climateKey(19) }
            Key { objectName: "key.windMode"; text: "Air distribution"; onClicked: car.climateKey(31) }
            SpinBox {
                id: keyNumber
                from: 0; to: 34; value: 0; editable: true
                enabled: car.canCommand
                font.pixelSize: Theme.px(14)
                implicitHeight: Theme.px(34)
                implicitWidth: Theme.px(110)
            }
            Key { objectName: "key.other"; text: "Send key " + keyNumber.value; onClicked: car.climateKey(keyNumber.value) }
        }
        Line {
            objectName: "climate.commandNote"
            visible: !car.canCommand
            size: 12
            color: Theme.dim
            text: "Keys off: " + car.commandNote
        }
    }
}
