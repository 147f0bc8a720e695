import QtQuick 2.15

// A titled box the other panels sit in. contentHeight is what its content needs, for the layout.
Rectangle {
    readonly property bool isPanel: true
    property string title
    property real contentHeight: 0
    default property alias content: body.data
    implicitHeight: contentHeight + Theme.px(38)
    color: Theme.panel
    radius: Theme.px(8)

    Text {

        textFormat: Text.PlainText
        id: heading
        text: parent.title
        color: Theme.dim
        font.pixelSize: Theme.px(14)
        font.bold: true
        x: Theme.px(12)
        y: Theme.px(7)
        width: parent.width - 2 * x
        elide: Text.ElideRight
    }
    Item {
        id: body
        anchors.fill: parent
        anchors.topMargin: Theme.px(30)
        anchors.margins: Theme.px(12)
    }
}
