import QtQuick 2.15
import QtQuick.Layouts 1.15

// The link and its counters, the box's version, display units and ambient colour with the
// commands that change them.
Panel {
    title: "Link: " + car.link
    readonly property var v: car.values
    readonly property var distance: v["Vehicle.Cabin.Infotainment.HMI.DistanceUnit"]
    readonly property var temperature: v["Vehicle.Cabin.Infotainment.HMI.TemperatureUnit"]
    readonly property var h: car.health
    readonly property var counters: [["Frames", h.framesAccepted], ["Checksum errors", h.checksumErrors],
                                     ["Receive time-outs", h.receiveTimeouts], ["Cut frames", h.cutFrames],
                                     ["Noise bytes", h.noiseBytes], ["Link losses", h.linkLosses],
                                     ["Line losses", h.lineLosses]]
    contentHeight: column.implicitHeight

    ColumnLayout {
        id: column
        anchors.fill: parent
        spacing: Theme.px(4)
        GridLayout {
            objectName: "health"
            Layout.fillWidth: true
            columns: 2
            rowSpacing: 0
            Repeater {
                model: counters.length * 2
                Text {
                    textFormat: Text.PlainText
                    text: index % 2 ? Theme.shown(counters[Math.floor(index / 2)][1]) : counters[Math.floor(index / 2)][0]
                    color: index % 2 ? Theme.text : Theme.dim
                    font.pixelSize: Theme.textSize
                    horizontalAlignment: index % 2 ? Text.AlignRight : Text.AlignLeft
                    Layout.fillWidth: index % 2 === 1
                }
            }
        }
        Line { objectName: "version"; text: "Box version " + Theme.shown(v["CanBox.Version"]) }
        Line {
            objectName: "units"
            text: "Units: " + (distance === "MILES" ? "miles" : distance === "KILOMETERS" ? "kilometres" : "\u2014")
                  + ", " + (Theme.has(temperature) ? "°" + temperature : "\u2014")
        }
        RowLayout {
            Layout.fillWidth: true
            Line { text: "Ambient light"; Layout.fillWidth: false }
            Rectangle {
                objectName: "ambientSwatch"
                width: Theme.px(32)
                height: Theme.px(16)
                radius: 3
                color: v["CanBox.AmbientLight.ColorRgb"] || Theme.noReading
            }
            Line { color: Theme.dim; text: Theme.shown(v["CanBox.AmbientLight.ColorName"]) }
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
            color: Theme.dim
            wrapMode: Text.Wrap
            text: "Buttons off: " + car.commandNote
        }
    }
}
