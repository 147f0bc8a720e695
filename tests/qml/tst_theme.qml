import QtQuick 2.15
import QtTest 1.2
import "../../tools/dashboard/qml"

// The dashboard's own logic in QML: the colour of a parking sensor's step and how a value with
// no reading is shown.
TestCase {
    name: "Theme"

    function test_stepColour_data() {
        return [
            {tag: "nearest", step: 1, colour: "#e53935"},
            {tag: "middle", step: 4, colour: "#c0ca33"},
            {tag: "farthest", step: 7, colour: "#43a047"},
            {tag: "beyond the last step", step: 9, colour: "#43a047"},
            {tag: "no reading", step: undefined, colour: "#37474f"},
            {tag: "null", step: null, colour: "#37474f"},
        ]
    }

    function test_stepColour(data) {
        compare(String(Theme.stepColour(data.step)), data.colour)
    }

    function test_shown_data() {
        return [
            {tag: "no reading", value: undefined, unit: "km/h", text: "\u2014"},
            {tag: "null", value: null, unit: "", text: "\u2014"},
            {tag: "zero is a reading", value: 0, unit: "km/h", text: "0 km/h"},
            {tag: "false is a reading", value: false, unit: "", text: "false"},
            {tag: "text", value: "CB 3.1", unit: "", text: "CB 3.1"},
        ]
    }

    function test_shown(data) {
        compare(Theme.shown(data.value, data.unit), data.text)
    }
}
