import QtQuick 2.15
import QtQuick.Layouts 1.15

// The link and its health, the box, units, ambient colour, the codes the box gives no meaning,
// and the last keys.
Panel {
    title: "Link: " + car.link
    readonly property var v: car.values
    readonly property var distance: v["Vehicle.Cabin.Infotainment.HMI.DistanceUnit"]
    readonly property var temperature: v["Vehicle.Cabin.Infotainment.HMI.TemperatureUnit"]
    contentHeight: column.implicitHeight

    ColumnLayout {
        id: column
        anchors.fill: parent
        spacing: Theme.px(3)
        Line {
            objectName: "health"
            size: 12
            color: Theme.dim
            wrapMode: Text.Wrap
            maximumLineCount: 3
            text: Theme.shown(car.health.framesAccepted) + " frames, " + Theme.shown(car.health.checksumErrors)
                  + " checksum errors, " + Theme.shown(car.health.receiveTimeouts) + " time-outs, "
                  + Theme.shown(car.health.cutFrames) + " cut frames, " + Theme.shown(car.health.noiseBytes)
                  + " noise bytes, " + Theme.shown(car.health.linkLosses) + " link losses, "
                  + Theme.shown(car.health.lineLosses) + " line losses"
        }
        Line { text: "Box version " + Theme.shown(v["CanBox.Version"]) }
        Line {
            objectName: "units"
            text: "Units: " + (distance === "MILES" ? "miles" : distance === "KILOMETERS" ? "kilometres" : "\u2014")
                  + ", " + (Theme.has(temperature) ? "°" + temperature : "\u2014")
        }
        RowLayout {
            Layout.fillWidth: true
            Text { textFormat: Text.PlainText; text: "Ambient light"; color: Theme.text; font.pixelSize: Theme.px(14) }
            Rectangle {
                objectName: "ambientSwatch"
                width: Theme.px(36)
                height: Theme.px(14)
                radius: 3
                color: v["CanBox.AmbientLight.ColorRgb"] || Theme.noReading
            }
            Line { size: 12; color: Theme.dim; text: Theme.shown(v["CanBox.AmbientLight.ColorName"]) }
        }
        Flow {
            Layout.fillWidth: true
            spacing: Theme.px(6)
            Key { objectName: "unit.distance"; text: "km \u21c4 mi"; onClicked: car.unitCommand(1) }
            Key { objectName: "unit.temperature"; text: "°C \u21c4 °F"; onClicked: car.unitCommand(3) }
            Key { objectName: "setting.ambient"; text: "Next colour"; onClicked: car.carSettingKey(4, 1) }
        }
        Line {
            objectName: "commandNote"
            visible: !car.canCommand
            size: 12
            color: Theme.dim
            text: "Buttons off: " + car.commandNote
        }
        Line {
            objectName: "codes"
            size: 11
            color: Theme.dim
            text: "Codes the box gives no meaning: tyre alert " + Theme.shown(v["CanBox.Tyre.AlertTypeCode"])
                  + ", e-call " + Theme.shown(v["CanBox.EmergencyCall.StateCode"])
        }
        Line {
            objectName: "keys"
            Layout.fillHeight: true
            size: 12
            color: Theme.dim
            wrapMode: Text.Wrap
            verticalAlignment: Text.AlignTop
            text: "Keys: " + (car.keys.length ? car.keys.join(" \u00b7 ") : "none yet")
        }
    }
}
