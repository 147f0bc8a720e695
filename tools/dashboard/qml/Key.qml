import QtQuick 2.15
import QtQuick.Controls 2.15

// A button sized by its text at the screen's scale; it sends only when a box can answer.
Button {
    enabled: car.canCommand
    font.pixelSize: Theme.textSize
    padding: Theme.px(6)
    implicitWidth: contentItem.implicitWidth + leftPadding + rightPadding
    implicitHeight: contentItem.implicitHeight + topPadding + bottomPadding
}
