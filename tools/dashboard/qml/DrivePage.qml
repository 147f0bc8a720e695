import QtQuick 2.15

// The driver's page. Most screens: the two gauges one over the other, the car, then climate over
// the trip computer. A wide one (1920x720): the gauges side by side, each with a second reading
// under it as on an instrument cluster, then the car, then climate over the trip computer.
Item {
    id: page
    property real gap
    readonly property bool wide: width / height > 2.2
    // Column widths as shares of the page.
    readonly property var shares: wide ? [0.5, 0.2, 0.3] : [0.24, 0.33, 0.43]
    readonly property var v: car.values
    function columnX(i) { let x = 0; for (let c = 0; c < i; ++c) x += shares[c] * (width + gap); return x }
    function columnWidth(i) { return shares[i] * (width + gap) - gap }
    // Where the gauges are: one over the other in the first column, or side by side.
    readonly property real gaugeWidth: wide ? (columnWidth(0) - gap) / 2 : columnWidth(0)
    readonly property real gaugeHeight: wide ? height : (height - gap) / 2
    // Side by side the dials are as wide as their half, and the readings under them larger.
    readonly property int readingSize: wide ? Theme.px(72) : Theme.primarySize

    Gauge {
        objectName: "speedGauge"
        readonly property string displayUnit: Theme.speedUnit(car.values)
        x: page.columnX(0); y: 0
        width: page.gaugeWidth; height: page.gaugeHeight
        label: "Speed"
        value: Theme.speed(car.values["Vehicle.Speed"], displayUnit)
        unit: displayUnit
        maximum: displayUnit === "mph" ? 160 : 240
        // A label every 20 where the dial has room for them, else fewer.
        labelStep: dialSize >= Theme.px(200) ? 20 : displayUnit === "mph" ? 40 : 60
        readingSize: page.readingSize
        note: page.wide ? "Mileage " + (Theme.has(page.v["CanBox.Mileage.Total"])
                                        ? page.v["CanBox.Mileage.Total"] + " " + trip.distanceUnit : "\u2014") : ""
    }
    Gauge {
        objectName: "rpmGauge"
        x: page.wide ? page.columnX(0) + page.gaugeWidth + page.gap : page.columnX(0)
        y: page.wide ? 0 : page.gaugeHeight + page.gap
        width: page.gaugeWidth; height: page.gaugeHeight
        label: "Engine"
        value: car.values["Vehicle.Powertrain.CombustionEngine.Speed"]
        unit: "rpm"
        maximum: 8000
        dialScale: 1000
        labelStep: dialSize >= Theme.px(200) ? 1 : 2
        readingSize: page.readingSize
        dialLabel: "\u00d71000"
        note: page.wide ? "Outside " + Theme.temperature(page.v["Vehicle.Exterior.AirTemperature"],
                                                          page.v["CanBox.OutsideTemperature.DisplayUnit"] === "°F") : ""
    }
    CarView {
        objectName: "panel.car"
        x: page.columnX(1); y: 0
        width: page.columnWidth(1); height: page.height
    }
    // The trip computer takes what its rows need, climate the rest of its column.
    ClimatePanel {
        id: climate
        objectName: "panel.climate"
        x: page.columnX(2); y: 0
        width: page.columnWidth(2)
        height: page.height - trip.height - page.gap
    }
    TripPanel {
        id: trip
        objectName: "panel.trip"
        x: page.columnX(2); y: page.height - height
        width: page.columnWidth(2)
        height: implicitHeight
    }
}
