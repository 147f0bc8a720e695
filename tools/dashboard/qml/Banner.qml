import QtQuick 2.15

// Warnings a driver must not miss, in words: a door or lid open while the car moves, a tyre alert
// (the box gives its type only as a code, on the diagnostics page; 0 is no alert).
Rectangle {
    readonly property var v: car.values
    readonly property var openings: ["Vehicle.Cabin.Door.Row1.DriverSide.IsOpen", "Vehicle.Cabin.Door.Row1.PassengerSide.IsOpen",
                                     "Vehicle.Cabin.Door.Row2.DriverSide.IsOpen", "Vehicle.Cabin.Door.Row2.PassengerSide.IsOpen",
                                     "Vehicle.Body.Hood.IsOpen", "Vehicle.Body.Trunk.Rear.IsOpen"]
    readonly property bool moving: v["Vehicle.Speed"] > 0
    readonly property bool openWhileMoving: moving && openings.some(name => v[name] === true)
    readonly property var tyre: v["CanBox.Tyre.AlertTypeCode"]
    readonly property var warnings: (openWhileMoving ? ["Door open while moving"] : [])
                                    .concat(Theme.has(tyre) && tyre !== 0 ? ["Tyre alert"] : [])
    readonly property string message: warnings.join("  \u00b7  ")
    visible: warnings.length > 0
    color: Theme.warning
    radius: Theme.px(6)
    Text {
        textFormat: Text.PlainText
        id: caption
        objectName: "banner.text"
        anchors.centerIn: parent
        width: parent.width - Theme.px(16)
        horizontalAlignment: Text.AlignHCenter
        elide: Text.ElideRight
        text: "\u26a0 " + parent.message
        color: "white"
        font.pixelSize: Theme.px(18)
        font.bold: true
    }
}
