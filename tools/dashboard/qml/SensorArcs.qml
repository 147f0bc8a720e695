import QtQuick 2.15
import QtQuick.Shapes 1.15

// Four parking sensors as arcs, coloured by the step the box reports; grey with no reading. The
// nearest sensor of the car is drawn wider.
Item {
    id: arcs
    property string end: "Front"
    property string nearest
    readonly property var names: ["Left", "MiddleLeft", "MiddleRight", "Right"]
    readonly property real k: width / 220
    height: width * 60 / 220

    Repeater {
        model: 4
        Shape {
            id: arc
            objectName: arcs.objectName + "." + arcs.names[index]
            readonly property var step: car.values["CanBox.Parking." + arcs.end + "." + arcs.names[index] + ".Step"]
            readonly property bool isNearest: arcs.nearest === arcs.end + "." + arcs.names[index]
            anchors.fill: parent
            ShapePath {
                strokeColor: Theme.stepColour(arc.step)
                strokeWidth: (arc.isNearest ? 22 : 12) * arcs.k
                fillColor: "transparent"
                capStyle: ShapePath.FlatCap
                PathAngleArc {
                    centerX: arcs.width / 2
                    centerY: arcs.end === "Front" ? arcs.height + 60 * arcs.k : -60 * arcs.k
                    radiusX: 110 * arcs.k
                    radiusY: 90 * arcs.k
                    startAngle: (arcs.end === "Front" ? 225 : 135) + (arcs.end === "Front" ? 1 : -1) * index * 22.5 + 1
                    sweepAngle: (arcs.end === "Front" ? 1 : -1) * 20.5
                }
            }
        }
    }
}
