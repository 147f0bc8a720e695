import QtQuick 2.15
import QtQuick.Window 2.15

// The head unit's screen, from 800x480 to 1920x720: gauges on the left, the car with the trip
// computer, climate with the link's status. On a wide screen the trip computer and the status
// share a fourth column. Sizes follow the screen; a panel's height follows what it holds.
Window {
    id: window
    width: 1280
    height: 720
    visible: true
    color: Theme.background
    title: "canservice dashboard - " + car.source

    Binding { target: Theme; property: "scale"; value: Math.max(0.7, Math.min(window.width / 1280, window.height / 720)) }

    Banner {
        id: banner
        objectName: "banner"
        x: area.x
        y: area.gap
        width: area.width
        height: implicitHeight
    }
    Item {
        id: area
        readonly property real gap: Theme.px(10)
        readonly property bool wide: window.width / window.height > 2.2
        // Column widths as shares of the screen.
        readonly property var shares: wide ? [0.2, 0.27, 0.27, 0.26] : [0.25, 0.35, 0.4]
        function columnX(i) { let x = 0; for (let c = 0; c < i; ++c) x += shares[c] * (width + gap); return x }
        function columnWidth(i) { return shares[i] * (width + gap) - gap }
        x: gap
        y: banner.visible ? banner.y + banner.height + gap : gap
        width: window.width - 2 * gap
        height: window.height - y - gap

        Gauge {
            objectName: "speedGauge"
            readonly property string displayUnit: Theme.speedUnit(car.values)
            x: area.columnX(0); y: 0
            width: area.columnWidth(0); height: (area.height - area.gap) / 2
            label: "Speed"
            value: Theme.speed(car.values["Vehicle.Speed"], displayUnit)
            unit: displayUnit
            maximum: displayUnit === "mph" ? 160 : 240
        }
        Gauge {
            objectName: "rpmGauge"
            x: area.columnX(0); y: (area.height + area.gap) / 2
            width: area.columnWidth(0); height: (area.height - area.gap) / 2
            label: "Engine"
            value: car.values["Vehicle.Powertrain.CombustionEngine.Speed"]
            unit: "rpm"
            maximum: 8000
            dialScale: 1000
            labelStep: 1
            dialLabel: "x1000 rpm"
        }
        CarView {
            objectName: "panel.car"
            x: area.columnX(1); y: 0
            width: area.columnWidth(1)
            height: area.wide ? area.height : area.height - trip.height - area.gap
        }
        TripPanel {
            id: trip
            objectName: "panel.trip"
            x: area.columnX(area.wide ? 3 : 1); y: area.wide ? 0 : area.height - height
            width: area.columnWidth(area.wide ? 3 : 1)
            height: implicitHeight
        }
        ClimatePanel {
            id: climate
            objectName: "panel.climate"
            x: area.columnX(2); y: 0
            width: area.columnWidth(2)
            height: area.wide ? area.height : implicitHeight
        }
        StatusPanel {
            objectName: "panel.status"
            readonly property Item above: area.wide ? trip : climate
            x: area.columnX(area.wide ? 3 : 2); y: above.height + area.gap
            width: area.columnWidth(area.wide ? 3 : 2)
            height: area.height - y
        }
    }
}
