import QtQuick 2.15
import QtQuick.Layouts 1.15

// Text that stays in its width: cut with an ellipsis rather than drawn past its panel (which the
// layout check reports).
Text {
    textFormat: Text.PlainText
    property real size: 16
    color: Theme.text
    font.pixelSize: Theme.px(size)
    elide: Text.ElideRight
    Layout.fillWidth: true
}
