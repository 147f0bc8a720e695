import QtQuick 2.15
import QtQuick.Layouts 1.15

// The trip computer's values with their names and the units the box gives, the total mileage in
// the box's distance unit, and the fuel figures: the past ones as a chart. The box's past fuel
// message repeats its first figure in a second field; the chart draws it once.
Panel {
    title: "Trip computer"
    readonly property var v: car.values
    readonly property var u: car.units
    readonly property var distanceUnit: ({MILES: "mi", KILOMETERS: "km"})[v["Vehicle.Cabin.Infotainment.HMI.DistanceUnit"]]
    // The first item of each kind always, the others once the box has reported them.
    readonly property var rows: {
        const out = []
        for (const kind of [["Distance", "Distance", 3], ["Consumption", "Consumption", 4], ["Speed", "Trip speed", 3],
                            ["Time", "Driving time", 3]])
            for (let i = 1; i <= kind[2]; ++i) {
                const name = "CanBox.Trip." + kind[0] + i
                if (i === 1 || Theme.has(v[name]))
                    out.push([kind[1] + (i > 1 ? " " + i : ""), kind[0] === "Time" ? Theme.duration(v[name])
                                                                                  : Theme.shown(v[name], u[name])])
            }
        out.push(["Mileage", Theme.has(v["CanBox.Mileage.Total"])
                  ? v["CanBox.Mileage.Total"] + " " + (distanceUnit || "(unit not reported)") : "\u2014"])
        out.push(["Fuel figures", Theme.has(v["CanBox.Fuel.Field0"]) ? v["CanBox.Fuel.Field0"] + " \u00b7 " + Theme.shown(v["CanBox.Fuel.Field1"])
                                                                 : "\u2014"])
        return out
    }
    contentHeight: Math.max(grid.implicitHeight, Theme.px(90))

    // The values as wide as their texts, the chart in the rest: placed, not laid out, so that the
    // chart's width depends on nothing but the texts' now.
    Item {
        anchors.fill: parent
        GridLayout {
            id: grid
            objectName: "tripValues"
            anchors.left: parent.left
            anchors.top: parent.top
            columns: 2
            columnSpacing: Theme.px(10)
            rowSpacing: 0
            Repeater {
                model: rows.length * 2
                Text {
                    textFormat: Text.PlainText
                    text: rows[Math.floor(index / 2)][index % 2]
                    color: index % 2 ? Theme.text : Theme.dim
                    font.pixelSize: Theme.px(14)
                }
            }
        }
        FuelChart {
            // Where the values leave it no room (the smallest windows), none is drawn over them.
            visible: width >= Theme.px(40)
            anchors.left: grid.right
            anchors.leftMargin: Theme.px(12)
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            figures: [v["CanBox.Fuel.Field2"], v["CanBox.Fuel.Field4"], v["CanBox.Fuel.Field5"]]
        }
    }
}
