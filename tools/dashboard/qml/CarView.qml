import QtQuick 2.15
import QtQuick.Layouts 1.15

// The car from above: doors and lids in red when open, the parking sensors in front and behind,
// what is open and the nearest sensor in words.
Panel {
    id: view
    readonly property var v: car.values
    readonly property var assist: v["CanBox.ParkingAssist.IsOn"]
    title: "Vehicle"
    readonly property var openings: [
        ["Vehicle.Cabin.Door.Row1.DriverSide.IsOpen", "left front door"],
        ["Vehicle.Cabin.Door.Row1.PassengerSide.IsOpen", "right front door"],
        ["Vehicle.Cabin.Door.Row2.DriverSide.IsOpen", "left rear door"],
        ["Vehicle.Cabin.Door.Row2.PassengerSide.IsOpen", "right rear door"],
        ["Vehicle.Body.Hood.IsOpen", "front lid"],
        ["Vehicle.Body.Trunk.Rear.IsOpen", "rear lid"]]
    readonly property var open: openings.filter(o => v[o[0]] === true).map(o => o[1])
    readonly property var sensorWords: ({Left: "left", MiddleLeft: "middle left", MiddleRight: "middle right", Right: "right"})
    // The sensor with the smallest step, the first of equals from front left to rear right.
    readonly property var nearest: {
        let best = null
        for (const end of ["Front", "Rear"])
            for (const place of ["Left", "MiddleLeft", "MiddleRight", "Right"]) {
                const step = v["CanBox.Parking." + end + "." + place + ".Step"]
                if (Theme.has(step) && (best === null || step < best.step))
                    best = {name: end + "." + place, step: step,
                            words: end.toLowerCase() + " " + sensorWords[place]}
            }
        return best
    }

    Item {
        id: drawing
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: words.top
        anchors.bottomMargin: Theme.px(6)
        // The body, with room for the arcs above and below (a fifth of it each) and the doors
        // opening at its sides.
        readonly property real bodyHeight: Math.min(height / 1.45, (width - Theme.px(40)) / 0.5)

        Item {
            id: carBody
            anchors.centerIn: parent
            height: drawing.bodyHeight
            width: height * 0.5
            Rectangle {
                objectName: "carBody"
                anchors.fill: parent
                radius: width / 5
                color: "#263238"
                border.color: "#546e7a"
                border.width: 2
            }
            Lid { objectName: "lid.front"; open: v["Vehicle.Body.Hood.IsOpen"]; anchors.top: parent.top }
            Lid { objectName: "lid.rear"; open: v["Vehicle.Body.Trunk.Rear.IsOpen"]; anchors.bottom: parent.bottom }
            Door { objectName: "door.Row1.DriverSide"; open: v["Vehicle.Cabin.Door.Row1.DriverSide.IsOpen"]; side: -1; row: 0 }
            Door { objectName: "door.Row1.PassengerSide"; open: v["Vehicle.Cabin.Door.Row1.PassengerSide.IsOpen"]; side: 1; row: 0 }
            Door { objectName: "door.Row2.DriverSide"; open: v["Vehicle.Cabin.Door.Row2.DriverSide.IsOpen"]; side: -1; row: 1 }
            Door { objectName: "door.Row2.PassengerSide"; open: v["Vehicle.Cabin.Door.Row2.PassengerSide.IsOpen"]; side: 1; row: 1 }
        }
        SensorArcs {
            objectName: "radar.Front"; end: "Front"; nearest: view.nearest ? view.nearest.name : ""
            width: carBody.width * 1.5
            anchors.bottom: carBody.top; anchors.horizontalCenter: carBody.horizontalCenter
        }
        SensorArcs {
            objectName: "radar.Rear"; end: "Rear"; nearest: view.nearest ? view.nearest.name : ""
            width: carBody.width * 1.5
            anchors.top: carBody.bottom; anchors.horizontalCenter: carBody.horizontalCenter
        }
    }
    ColumnLayout {
        id: words
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        spacing: 0
        Line {
            objectName: "openings"
            wrapMode: Text.Wrap
            text: view.open.length ? "Open: " + view.open.join(", ")
                                   : Theme.has(v[openings[0][0]]) ? "Doors and lids closed" : "Doors: no reading yet"
            color: view.open.length ? Theme.open : Theme.dim
        }
        Line {
            objectName: "parkingAssist"
            visible: Theme.has(view.assist)
            text: "Parking assist " + (view.assist ? "on" : "off")
            color: Theme.dim
        }
        Line {
            objectName: "nearestSensor"
            wrapMode: Text.Wrap
            text: view.nearest ? "Nearest sensor: " + view.nearest.words + ", step " + view.nearest.step + " of 7"
                               : "No sensor reports an obstacle"
            color: view.nearest ? Theme.text : Theme.dim
        }
    }
}
