import QtQuick 2.15

// The front or rear lid, across the car's end.
Rectangle {
    property var open
    readonly property bool isOpen: open === true
    anchors.horizontalCenter: parent.horizontalCenter
    width: parent.width * 0.7
    height: Theme.px(14)
    radius: 4
    color: isOpen ? Theme.open : Theme.closed
}
