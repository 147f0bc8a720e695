import QtQuick 2.15

// The box's past fuel figures as bars over a base line, each with its value; the box names no unit.
Item {
    id: chart
    objectName: "fuelChart"
    property var figures: []
    readonly property real highest: Math.max(1, ...figures.filter(f => Theme.has(f)))

    Text {

        textFormat: Text.PlainText
        id: heading
        width: parent.width
        text: "Past fuel figures (no unit given)"
        color: Theme.dim
        font.pixelSize: Theme.px(12)
        wrapMode: Text.Wrap
        maximumLineCount: 2
        elide: Text.ElideRight
    }
    Rectangle {
        id: axis
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.bottomMargin: Theme.px(16)
        height: 1
        color: Theme.dim
    }
    Row {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: heading.bottom
        anchors.bottom: parent.bottom
        spacing: Theme.px(6)
        Repeater {
            model: chart.figures.length
            Item {
                objectName: "fuelBar" + index
                readonly property var figure: chart.figures[index]
                width: (parent.width - (chart.figures.length - 1) * parent.spacing) / chart.figures.length
                height: parent.height
                Rectangle {
                    id: bar
                    anchors.bottom: parent.bottom
                    anchors.bottomMargin: Theme.px(16)
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: Math.min(parent.width, Theme.px(28))
                    height: Theme.has(figure) ? (parent.height - Theme.px(32)) * figure / chart.highest : 0
                    color: Theme.accent
                }
                Text {
                    textFormat: Text.PlainText
                    anchors.bottom: bar.top
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: Theme.shown(figure)
                    color: Theme.text
                    font.pixelSize: Theme.px(12)
                }
                Text {
                    textFormat: Text.PlainText
                    anchors.bottom: parent.bottom
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: ["1st", "2nd", "3rd"][index]
                    color: Theme.dim
                    font.pixelSize: Theme.px(11)
                }
            }
        }
    }
}
