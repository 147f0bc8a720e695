import QtQuick 2.15

// A small label that lights up when its value is true.
Rectangle {
    property string label
    property var on
    readonly property bool lit: on === true
    width: caption.implicitWidth + Theme.px(12)
    height: caption.implicitHeight + Theme.px(4)
    radius: height / 2
    color: lit ? Theme.accent : "transparent"
    border.color: on === undefined ? Theme.noReading : Theme.accent
    Text {
        textFormat: Text.PlainText
        id: caption
        anchors.centerIn: parent
        text: parent.label
        color: parent.lit ? Theme.background : Theme.dim
        font.pixelSize: Theme.textSize
    }
}
