import QtQuick 2.15

// The car from above: doors and lids in red when open, the parking sensors in front and behind.
Panel {
    title: "Vehicle"
    readonly property var v: car.values

    Item {
        id: carBody
        anchors.centerIn: parent
        width: 150
        height: Math.min(parent.height - 120, 260)

        Rectangle {
            objectName: "carBody"
            anchors.fill: parent
            radius: 30
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

    SensorArcs { objectName: "radar.Front"; end: "Front"; anchors.bottom: carBody.top; anchors.horizontalCenter: carBody.horizontalCenter }
    SensorArcs { objectName: "radar.Rear"; end: "Rear"; anchors.top: carBody.bottom; anchors.horizontalCenter: carBody.horizontalCenter }

    Text {
        anchors.right: parent.right
        anchors.top: parent.top
        color: Theme.dim
        font.pixelSize: 14
        text: "Parking assist: " + (v["CanBox.ParkingAssist.IsOn"] === undefined ? "\u2014"
                                                                                : (v["CanBox.ParkingAssist.IsOn"] ? "on" : "off"))
    }
}
