import QtQuick 2.15
import QtQuick.Controls.Styles 1.4
import QtQuick.Extras 1.4

// A round gauge with the value and its unit under it; no reading shows as a dash.
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
    title: label + (dialLabel ? "  (" + dialLabel + ")" : "")

    CircularGauge {
        id: gauge
        objectName: panel.objectName + ".dial"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.top: parent.top
        width: Math.min(parent.width, parent.height - valueText.height)
        height: width
        minimumValue: 0
        maximumValue: panel.maximum / panel.dialScale
        // With no reading there is no needle: a needle at 0 would say the car stands still.
        readonly property bool hasReading: panel.value !== undefined && panel.value !== null
        value: hasReading ? Math.min(panel.value, panel.maximum) / panel.dialScale : 0
        property real labelStep: panel.labelStep
        style: CircularGaugeStyle {
            labelStepSize: control.labelStep
            tickmarkStepSize: control.labelStep / 2
            minorTickmarkCount: 4
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
    Text {
        textFormat: Text.PlainText
        id: valueText
        objectName: panel.objectName + ".text"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        text: Theme.shown(Theme.has(panel.value) ? Math.round(panel.value * 10) / 10 : undefined, panel.unit)
        color: Theme.text
        font.pixelSize: Theme.px(22)
    }
}
