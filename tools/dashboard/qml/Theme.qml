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

    // Parking sensor steps: 1 nearest (red) to 7 farthest (green).
    function stepColour(step) {
        if (step === undefined || step === null)
            return noReading
        return ["#e53935", "#e53935", "#fb8c00", "#fdd835", "#c0ca33", "#7cb342", "#43a047", "#43a047"][Math.min(step, 7)]
    }
    // A value, or a dash when the box has given none.
    function shown(value, suffix) {
        return value === undefined || value === null ? "\u2014" : value + (suffix ? " " + suffix : "")
    }
}
