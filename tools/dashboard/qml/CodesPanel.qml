import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15

// What the box sends as codes it gives no meaning, every climate switch as the box reports it (grey
// before any reading), any climate key by its number, and the last keys of the car's.
Panel {
    title: "Codes and climate keys"
    readonly property var v: car.values
    contentHeight: column.implicitHeight

    ColumnLayout {
        id: column
        anchors.fill: parent
        spacing: Theme.px(4)
        Line {
            objectName: "codes"
            wrapMode: Text.Wrap
            text: "Air distribution " + Theme.shown(v["CanBox.Climate.WindModeCode"]) + " \u00b7 tyre alert "
                  + Theme.shown(v["CanBox.Tyre.AlertTypeCode"]) + " \u00b7 e-call "
                  + Theme.shown(v["CanBox.EmergencyCall.StateCode"])
        }
        Flow {
            Layout.fillWidth: true
            spacing: Theme.px(4)
            Flag { objectName: "climate.ac"; label: "A/C"; on: v["Vehicle.Cabin.HVAC.IsAirConditioningActive"] }
            Flag { label: "auto"; on: v["CanBox.Climate.IsAuto"] }
            Flag { label: "dual"; on: v["CanBox.Climate.IsDual"] }
            Flag { label: "recirculation"; on: v["Vehicle.Cabin.HVAC.IsRecirculationActive"] }
            Flag { label: "front defrost"; on: v["Vehicle.Cabin.HVAC.IsFrontDefrosterActive"] }
            Flag { label: "rear defrost"; on: v["Vehicle.Cabin.HVAC.IsRearDefrosterActive"] }
            Flag { label: "A/C max"; on: v["CanBox.Climate.IsAcMax"] }
            Flag { label: "glass heat"; on: v["CanBox.Climate.IsGlassHeatActive"] }
            Flag { label: "wheel heat"; on: v["CanBox.Climate.IsSteeringWheelHeatActive"] }
            Flag { label: "rear climate"; on: v["CanBox.Climate.IsRearClimateOn"] }
        }
        RowLayout {
            Layout.fillWidth: true
            SpinBox {
                id: keyNumber
                from: 0; to: 34; value: 0; editable: true
                enabled: car.canCommand
                font.pixelSize: Theme.textSize
                implicitHeight: Theme.px(32)
                implicitWidth: Theme.px(110)
            }
            Key { objectName: "key.other"; text: "Send key " + keyNumber.value; onClicked: car.climateKey(keyNumber.value) }
        }
        Line {
            objectName: "keys"
            color: Theme.dim
            wrapMode: Text.Wrap
            text: car.keys.length ? "Last keys, code and action: " + car.keys.join(" \u00b7 ") : "No key yet"
        }
    }
}
