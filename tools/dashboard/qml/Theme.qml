pragma Singleton
import QtQuick 2.15

QtObject {
    readonly property color background: "#14171c"
    readonly property color panel: "#1e232b"
    readonly property color text: "#e6e9ef"
    readonly property color dim: "#8a94a6"
    readonly property color accent: "#4fc3f7"
    readonly property color open: "#ef5350"
    readonly property color closed: "#455a64"
    readonly property color noReading: "#37474f"
    readonly property color warning: "#b71c1c"

    // Sizes are given for an 800x480 screen, a 7-inch head unit's, read at arm's length: text
    // 16 px at least, the primary readings 48. The window sets the factor for its own size.
    property real scale: 1
    function px(size) { return Math.round(size * scale) }
    readonly property int textSize: px(16)
    readonly property int primarySize: px(48)

    // Parking sensor steps: 1 nearest (red) to 7 farthest (green).
    function stepColour(step) {
        if (step === undefined || step === null)
            return noReading
        return ["#e53935", "#e53935", "#fb8c00", "#fdd835", "#c0ca33", "#7cb342", "#43a047", "#43a047"][Math.min(step, 7)]
    }
    function has(value) { return value !== undefined && value !== null }
    // A value, or a dash when the box has given none.
    function shown(value, suffix) {
        return has(value) ? value + (suffix ? " " + suffix : "") : "\u2014"
    }
    // The catalogue keeps km/h and Celsius; the screen shows what the box asks for.
    function speedUnit(v) {
        const distance = v["Vehicle.Cabin.Infotainment.HMI.DistanceUnit"]
        return distance === "MILES" || (!has(distance) && v["CanBox.Speed.DisplayUnit"] === "mph") ? "mph" : "km/h"
    }
    function speed(kmh, unit) {
        return has(kmh) ? Math.round((unit === "mph" ? kmh / 1.609344 : kmh) * 10) / 10 : undefined
    }
    // The climate block's unit: the box's unit setting, or the block's own when there is none.
    function climateFahrenheit(v) {
        return v["Vehicle.Cabin.Infotainment.HMI.TemperatureUnit"] === "F" || v["CanBox.Climate.DisplayUnit"] === "°F"
    }
    function temperature(celsius, fahrenheit) {
        if (!has(celsius))
            return "\u2014"
        return fahrenheit ? (celsius * 9 / 5 + 32).toFixed(1) + " °F" : celsius.toFixed(1) + " °C"
    }
    function duration(minutes) {
        if (!has(minutes))
            return "\u2014"
        const m = Math.round(minutes)
        return m < 60 ? m + " min" : Math.floor(m / 60) + " h " + ("0" + m % 60).slice(-2) + " min"
    }
}
