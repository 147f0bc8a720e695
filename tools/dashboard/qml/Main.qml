import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15

// The head unit's screen, from 800x480 to 1920x720. Two pages: the driver's (gauges, the car,
// climate, the trip computer) and a bench engineer's diagnostics (the link's counters, codes the
// box gives no meaning, every trip item, the keys). Sizes follow the screen's height (and its width
// where it is narrow); the warnings share the top line with the pages' tabs.
Window {
    id: window
    width: 1280
    height: 720
    visible: true
    color: Theme.background
    title: "canservice dashboard - " + car.source
    // "drive" or "diagnostics".
    property string page: "drive"

    Binding { target: Theme; property: "scale"; value: Math.max(0.5, Math.min(window.height / 480, window.width / 800)) }

    Item {
        id: top
        x: area.gap
        y: area.gap
        width: window.width - 2 * area.gap
        height: Theme.px(34)
        Row {
            id: tabs
            height: parent.height
            spacing: Theme.px(6)
            Repeater {
                model: [["drive", "Drive"], ["diagnostics", "Diagnostics"]]
                Button {
                    objectName: "tab." + modelData[0]
                    height: tabs.height
                    text: modelData[1]
                    font.pixelSize: Theme.textSize
                    highlighted: window.page === modelData[0]
                    onClicked: window.page = modelData[0]
                }
            }
        }
        Banner {
            id: banner
            objectName: "banner"
            anchors.left: tabs.right
            anchors.leftMargin: area.gap
            anchors.right: parent.right
            height: parent.height
        }
        Text {
            objectName: "linkState"
            visible: !banner.visible
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            textFormat: Text.PlainText
            text: "CAN box: " + car.link
            color: car.link === "up" ? Theme.dim : Theme.open
            font.pixelSize: Theme.textSize
            elide: Text.ElideRight
            width: Math.min(implicitWidth, parent.width - tabs.width - area.gap)
        }
    }
    Item {
        id: area
        readonly property real gap: Theme.px(8)
        x: gap
        y: top.y + top.height + gap
        width: window.width - 2 * gap
        height: window.height - y - gap
        DrivePage {
            anchors.fill: parent
            visible: window.page === "drive"
            gap: area.gap
        }
        DiagnosticsPage {
            anchors.fill: parent
            visible: window.page === "diagnostics"
            gap: area.gap
        }
    }
}
