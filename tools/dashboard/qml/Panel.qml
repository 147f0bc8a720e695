import QtQuick 2.15

// A titled box the other panels sit in. contentHeight is what its content needs, for the layout.
Rectangle {
    readonly property bool isPanel: true
    property string title
    property real contentHeight: 0
    default property alias content: body.data
    implicitHeight: contentHeight + Theme.px(36)
    color: Theme.panel
    radius: Theme.px(6)

    Text {
        id: heading
        textFormat: Text.PlainText
        text: parent.title
        color: Theme.dim
        font.pixelSize: Theme.textSize
        font.bold: true
        x: Theme.px(8)
        y: Theme.px(4)
        width: parent.width - 2 * x
        elide: Text.ElideRight
    }
    Item {
        id: body
        anchors.fill: parent
        anchors.topMargin: Theme.px(28)
        anchors.margins: Theme.px(8)
    }
}
