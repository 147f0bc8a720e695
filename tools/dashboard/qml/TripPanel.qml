import QtQuick 2.15
import QtQuick.Layouts 1.15

// The trip computer with the units the box gives, and the total mileage in the box's distance
// unit. On the driver's page the first item of each kind; complete, on the diagnostics page, every
// item the box has reported, and its fuel figures as they come (the box names no unit).
Panel {
    property bool complete: false
    title: complete ? "Trip computer, every item" : "Trip computer"
    readonly property var v: car.values
    readonly property var u: car.units
    readonly property string distanceUnit: ({MILES: "mi", KILOMETERS: "km"})[v["Vehicle.Cabin.Infotainment.HMI.DistanceUnit"]]
                                           || "(unit not reported)"
    readonly property var rows: {
        const out = []
        for (const kind of [["Distance", "Distance", 3], ["Consumption", "Consumption", 4], ["Speed", "Trip speed", 3],
                            ["Time", "Driving time", 3]])
            for (let i = 1; i <= (complete ? kind[2] : 1); ++i) {
                const name = "CanBox.Trip." + kind[0] + i
                if (i === 1 || Theme.has(v[name]))
                    out.push([kind[1] + (i > 1 ? " " + i : ""), kind[0] === "Time" ? Theme.duration(v[name])
                                                                                  : Theme.shown(v[name], u[name])])
            }
        out.push(["Mileage", Theme.has(v["CanBox.Mileage.Total"])
                  ? v["CanBox.Mileage.Total"] + " " + distanceUnit : "\u2014"])
        if (complete) {
            const fuel = i => Theme.shown(v["CanBox.Fuel.Field" + i])
            out.push(["Fuel fields 0, 1", fuel(0) + " \u00b7 " + fuel(1)])
            out.push(["Past fuel 2, 3", fuel(2) + " \u00b7 " + fuel(3)])
            out.push(["Past fuel 4, 5", fuel(4) + " \u00b7 " + fuel(5)])
        }
        return out
    }
    contentHeight: grid.implicitHeight

    GridLayout {
        id: grid
        objectName: "tripValues"
        anchors.left: parent.left
        anchors.right: parent.right
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
                font.pixelSize: Theme.textSize
                horizontalAlignment: index % 2 ? Text.AlignRight : Text.AlignLeft
                Layout.fillWidth: index % 2 === 1
                elide: Text.ElideRight
            }
        }
    }
}
