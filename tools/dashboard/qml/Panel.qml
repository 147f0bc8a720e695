import QtQuick 2.15

// A titled box the other panels sit in.
Rectangle {
    property string title
    default property alias content: body.data
    color: Theme.panel
    radius: 8

    Text {
        id: heading
        text: parent.title
        color: Theme.dim
        font.pixelSize: 13
        font.bold: true
        x: 12
        y: 8
    }
    Item {
        id: body
        anchors.fill: parent
        anchors.topMargin: 30
        anchors.margins: 12
    }
}
