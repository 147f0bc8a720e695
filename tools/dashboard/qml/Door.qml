import QtQuick 2.15

// One door on the car's side: side -1 left, 1 right; row 0 front, 1 rear.
Rectangle {
    property var open
    property int side
    property int row
    readonly property bool isOpen: open === true
    width: Theme.px(8)
    height: parent.height * 0.22
    x: side < 0 ? -width - (isOpen ? Theme.px(10) : 2) : parent.width + (isOpen ? Theme.px(10) : 2)
    y: parent.height * (row === 0 ? 0.28 : 0.55)
    radius: 3
    color: isOpen ? Theme.open : Theme.closed
    rotation: isOpen ? side * 25 : 0
}
