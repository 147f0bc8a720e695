import QtQuick 2.15
import QtQuick.Layouts 1.15

// Climate as the driver reads it: the set temperatures (or, in the block's mode 0, the one level
// the box reports, with the outside temperature), the fan and what is switched on, in words; and
// the keys a head unit sends. The box's next status shows what a key did.
Panel {
    id: panel
    readonly property var v: car.values
    readonly property bool fahrenheit: Theme.climateFahrenheit(v)
    readonly property bool degrees: v["CanBox.Climate.IsManualMode"] === true
    readonly property string outside: Theme.temperature(v["Vehicle.Exterior.AirTemperature"],
                                                        v["CanBox.OutsideTemperature.DisplayUnit"] === "°F")
    readonly property var switches: [
        ["Vehicle.Cabin.HVAC.IsAirConditioningActive", "A/C"], ["CanBox.Climate.IsAuto", "auto"],
        ["CanBox.Climate.IsDual", "dual"], ["Vehicle.Cabin.HVAC.IsRecirculationActive", "recirculation"],
        ["Vehicle.Cabin.HVAC.IsFrontDefrosterActive", "front defrost"],
        ["Vehicle.Cabin.HVAC.IsRearDefrosterActive", "rear defrost"], ["CanBox.Climate.IsAcMax", "A/C max"],
        ["CanBox.Climate.IsGlassHeatActive", "glass heat"], ["CanBox.Climate.IsSteeringWheelHeatActive", "wheel heat"],
        ["CanBox.Climate.IsRearClimateOn", "rear climate"]]
    readonly property var on: switches.filter(s => v[s[0]] === true).map(s => s[1])
    title: "Climate" + (v["CanBox.Climate.IsOn"] === false ? " \u00b7 off" : "")
    contentHeight: column.implicitHeight

    function temperature(name, limit) {
        return Theme.has(v[limit]) ? v[limit] : Theme.temperature(v[name], fahrenheit)
    }

    ColumnLayout {
        id: column
        anchors.fill: parent
        spacing: Theme.px(4)
        // Two large readings whatever the mode, so that the panel keeps its size.
        Reading {
            label: panel.degrees ? "Left" : "Level"
            name: "climate.left"
            value: panel.degrees ? panel.temperature("Vehicle.Cabin.HVAC.Station.Row1.Driver.Temperature", "CanBox.Climate.DriverLimit")
                                 : Theme.has(car.climateLevel) ? String(car.climateLevel) : "\u2014"
        }
        Reading {
            visible: panel.degrees
            label: "Right"
            name: "climate.right"
            value: panel.temperature("Vehicle.Cabin.HVAC.Station.Row1.Passenger.Temperature", "CanBox.Climate.PassengerLimit")
        }
        Reading {
            visible: !panel.degrees
            label: "Outside"
            name: "climate.outside"
            value: panel.outside
        }
        Line {
            objectName: "climate.details"
            wrapMode: Text.Wrap
            text: "Fan " + Theme.shown(v["CanBox.Climate.FanLevel"]) + " of 7"
                  + (panel.degrees ? " \u00b7 outside " + panel.outside : "")
                  + (v["CanBox.Climate.IsRearClimateOn"] === true
                     ? " \u00b7 rear " + Theme.temperature(v["CanBox.Climate.RearTemperature"], fahrenheit) : "")
        }
        Line {
            objectName: "climate.on"
            wrapMode: Text.Wrap
            color: Theme.accent
            text: panel.on.length ? "On: " + panel.on.join(" \u00b7 ") : "Nothing switched on"
        }
        Item { Layout.fillHeight: true }
        Flow {
            Layout.fillWidth: true
            spacing: Theme.px(6)
            Key { objectName: "key.temperatureDown"; text: "Temp \u2212"; onClicked: car.climateKey(20) }
            Key { objectName: "key.temperatureUp"; text: "Temp +"; onClicked: car.climateKey(19) }
            Key { objectName: "key.windMode"; text: "Air distribution"; onClicked: car.climateKey(31) }
        }
        Line {
            objectName: "climate.commandNote"
            visible: !car.canCommand
            wrapMode: Text.Wrap
            color: Theme.dim
            text: "Keys off: " + car.commandNote
        }
    }

    // A name, and a large reading at the right.
    component Reading: RowLayout {
        property alias label: caption.text
        property alias name: reading.objectName
        property alias value: reading.text
        Layout.fillWidth: true
        Line { id: caption; color: Theme.dim; Layout.alignment: Qt.AlignBaseline }
        Text {
            id: reading
            readonly property bool primary: true
            textFormat: Text.PlainText
            color: Theme.text
            font.pixelSize: Theme.primarySize
            Layout.alignment: Qt.AlignBaseline
        }
    }
}
