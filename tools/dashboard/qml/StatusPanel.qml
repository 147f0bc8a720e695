import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// The link and its health, the box, units, ambient colour, alerts and the last keys.
Panel {
    title: "Link: " + car.link
    readonly property var v: car.values

    ColumnLayout {
        anchors.fill: parent
        spacing: 4
        Text {
            objectName: "health"
            text: "frames " + Theme.shown(car.health.framesAccepted) + ", checksum errors "
                  + Theme.shown(car.health.checksumErrors) + ", time-outs " + Theme.shown(car.health.receiveTimeouts)
                  + ", cut frames " + Theme.shown(car.health.cutFrames) + ", noise bytes "
                  + Theme.shown(car.health.noiseBytes) + ", link losses " + Theme.shown(car.health.linkLosses) + ", line losses "
                  + Theme.shown(car.health.lineLosses)
            color: Theme.dim
            font.pixelSize: 12
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        Text { text: "Box " + Theme.shown(v["CanBox.Version"]); color: Theme.text; font.pixelSize: 14 }
        Text {
            text: "Units: " + Theme.shown(v["Vehicle.Cabin.Infotainment.HMI.DistanceUnit"]) + ", "
                  + Theme.shown(v["Vehicle.Cabin.Infotainment.HMI.TemperatureUnit"])
            color: Theme.text
            font.pixelSize: 14
        }
        Text {
            text: "Tyre alert code " + Theme.shown(v["CanBox.Tyre.AlertTypeCode"]) + ", e-call state "
                  + Theme.shown(v["CanBox.EmergencyCall.StateCode"])
            color: Theme.text
            font.pixelSize: 14
        }
        RowLayout {
            Text { text: "Ambient"; color: Theme.text; font.pixelSize: 14 }
            Rectangle {
                objectName: "ambientSwatch"
                width: 40
                height: 16
                radius: 3
                color: v["CanBox.AmbientLight.ColorRgb"] || Theme.noReading
            }
            Text { text: Theme.shown(v["CanBox.AmbientLight.ColorName"]); color: Theme.dim; font.pixelSize: 12 }
        }
        RowLayout {
            Button { objectName: "unit.distance"; text: "km / mi"; onClicked: car.unitCommand(1) }
            Button { objectName: "unit.temperature"; text: "°C / °F"; onClicked: car.unitCommand(3) }
            Button { objectName: "setting.ambient"; text: "Next colour"; onClicked: car.carSettingKey(4, 1) }
        }
        Text {
            objectName: "keys"
            Layout.fillHeight: true
            text: "Keys: " + (car.keys.length ? car.keys.join(" \u00b7 ") : "\u2014")
            color: Theme.dim
            font.pixelSize: 12
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }
}
