import QtQuick 2.15
import QtQuick.Layouts 1.15

// The trip computer's values with their units, the fuel figures as bars, the total mileage.
Panel {
    title: "Trip computer"
    readonly property var v: car.values
    readonly property var u: car.units
    readonly property var items: ["Distance1", "Consumption1", "Speed1", "Time1", "Distance2", "Consumption2"]

    RowLayout {
        anchors.fill: parent
        spacing: 16
        GridLayout {
            columns: 2
            columnSpacing: 12
            rowSpacing: 2
            Layout.alignment: Qt.AlignTop
            Repeater {
                model: items
                delegate: Text {
                    Layout.columnSpan: 1
                    text: modelData + ": " + Theme.shown(v["CanBox.Trip." + modelData], u["CanBox.Trip." + modelData])
                    color: Theme.text
                    font.pixelSize: 13
                }
            }
            Text {
                Layout.columnSpan: 2
                text: "Mileage: " + Theme.shown(v["CanBox.Mileage.Total"])
                color: Theme.text
                font.pixelSize: 13
            }
        }
        Row {
            objectName: "fuelBars"
            Layout.fillHeight: true
            Layout.fillWidth: true
            spacing: 8
            Repeater {
                model: 6
                Column {
                    readonly property var figure: v["CanBox.Fuel.Field" + index]
                    anchors.bottom: parent.bottom
                    spacing: 2
                    Rectangle {
                        width: 22
                        height: figure === undefined ? 2 : Math.min(90, 8 * figure)
                        color: figure === undefined ? Theme.noReading : Theme.accent
                    }
                    Text { text: Theme.shown(figure); color: Theme.dim; font.pixelSize: 10 }
                }
            }
        }
    }
}
