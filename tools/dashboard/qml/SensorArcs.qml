import QtQuick 2.15
import QtQuick.Shapes 1.15

// Four parking sensors as arcs, coloured by the step the box reports; grey with no reading.
Item {
    id: arcs
    property string end: "Front"
    readonly property var names: ["Left", "MiddleLeft", "MiddleRight", "Right"]
    width: 220
    height: 60

    Repeater {
        model: 4
        Shape {
            id: arc
            objectName: arcs.objectName + "." + arcs.names[index]
            readonly property var step: car.values["CanBox.Parking." + arcs.end + "." + arcs.names[index] + ".Step"]
            anchors.fill: parent
            ShapePath {
                strokeColor: Theme.stepColour(arc.step)
                strokeWidth: 14
                fillColor: "transparent"
                capStyle: ShapePath.FlatCap
                PathAngleArc {
                    centerX: arcs.width / 2
                    centerY: arcs.end === "Front" ? arcs.height + 60 : -60
                    radiusX: 110
                    radiusY: 90
                    startAngle: (arcs.end === "Front" ? 225 : 135) + (arcs.end === "Front" ? 1 : -1) * index * 22.5 + 1
                    sweepAngle: (arcs.end === "Front" ? 1 : -1) * 20.5
                }
            }
        }
    }
}
