import QtQuick 2.15
import QtQuick.Controls.Styles 1.4
import QtQuick.Extras 1.4

// A round gauge with the value, large, and its unit under it; no reading shows as a dash.
Panel {
    id: panel
    property string label
    property var value
    property string unit
    property real maximum: 100
    // The dial counts in these steps (1000 for an engine's rpm).
    property real dialScale: 1
    property string dialLabel
    property real labelStep: 20
    // A second reading under the first, where the panel has room for it.
    property string note
    readonly property real dialSize: gauge.width
    // Where the reading starts, as a share of the dial's height.
    readonly property real readingAt: 0.9
    property int readingSize: Theme.primarySize
    title: label + (dialLabel ? "  (" + dialLabel + ")" : "")

    CircularGauge {
        id: gauge
        objectName: panel.objectName + ".dial"
        readonly property bool drawnWhole: true
        anchors.horizontalCenter: parent.horizontalCenter
        // The reading sits in the dial's open bottom; the two together in the middle of the panel.
        y: (parent.height - reading.height - noteText.height - width * panel.readingAt) / 2
        width: Math.min(parent.width, (parent.height - reading.height - noteText.height) / panel.readingAt)
        height: width
        minimumValue: 0
        maximumValue: panel.maximum / panel.dialScale
        // With no reading there is no needle: a needle at 0 would say the car stands still.
        readonly property bool hasReading: panel.value !== undefined && panel.value !== null
        value: hasReading ? Math.min(panel.value, panel.maximum) / panel.dialScale : 0
        property real labelStep: panel.labelStep
        style: CircularGaugeStyle {
            labelStepSize: control.labelStep
            labelInset: Theme.textSize * 1.6
            tickmarkStepSize: control.labelStep / 2
            minorTickmarkCount: 4
            tickmarkLabel: Text {
                textFormat: Text.PlainText
                text: styleData.value
                color: Theme.dim
                font.pixelSize: Theme.textSize
            }
            needle: Rectangle {
                visible: control.hasReading
                y: outerRadius * 0.15
                implicitWidth: outerRadius * 0.03
                implicitHeight: outerRadius * 0.9
                antialiasing: true
                color: "#e0321e"
            }
        }
    }
    Row {
        id: reading
        anchors.horizontalCenter: parent.horizontalCenter
        y: gauge.y + gauge.height * panel.readingAt
        spacing: Theme.px(6)
        Text {
            readonly property bool primary: true
            textFormat: Text.PlainText
            objectName: panel.objectName + ".text"
            text: Theme.shown(Theme.has(panel.value) ? Math.round(panel.value * 10) / 10 : undefined)
            color: Theme.text
            font.pixelSize: panel.readingSize
        }
        Text {
            objectName: panel.objectName + ".unit"
            textFormat: Text.PlainText
            anchors.baseline: parent.children[0].baseline
            text: panel.unit
            color: Theme.dim
            font.pixelSize: Theme.textSize
        }
    }
    Text {
        id: noteText
        objectName: panel.objectName + ".note"
        visible: panel.note !== ""
        height: visible ? implicitHeight : 0
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: reading.bottom
        textFormat: Text.PlainText
        text: panel.note
        color: Theme.dim
        font.pixelSize: Theme.textSize
    }
}
