import QtQuick 2.15
import QtTest 1.2
import "../../tools/dashboard/qml"

// The dashboard's own logic in QML: the colour of a parking sensor's step, how a value with no
// reading is shown, and the units the box asks for.
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

    function test_units_data() {
        const kmh = {"Vehicle.Cabin.Infotainment.HMI.DistanceUnit": "KILOMETERS", "CanBox.Speed.DisplayUnit": "mph"}
        return [
            {tag: "miles", values: {"Vehicle.Cabin.Infotainment.HMI.DistanceUnit": "MILES"}, unit: "mph", kmh: 48.28, shown: 30},
            {tag: "kilometres", values: {"Vehicle.Cabin.Infotainment.HMI.DistanceUnit": "KILOMETERS"}, unit: "km/h", kmh: 56.5, shown: 56.5},
            {tag: "the box's setting over the speed message's", values: kmh, unit: "km/h", kmh: 10, shown: 10},
            {tag: "no setting: the speed message's", values: {"CanBox.Speed.DisplayUnit": "mph"}, unit: "mph", kmh: 160.9344, shown: 100},
            {tag: "no reading", values: {}, unit: "km/h", kmh: undefined, shown: undefined},
        ]
    }

    function test_units(data) {
        const unit = Theme.speedUnit(data.values)
        compare(unit, data.unit)
        compare(Theme.speed(data.kmh, unit), data.shown)
    }

    function test_temperature_data() {
        return [
            {tag: "Celsius", celsius: 21.5, fahrenheit: false, text: "21.5 °C"},
            {tag: "Fahrenheit, from the catalogue's Celsius", celsius: 21.39, fahrenheit: true, text: "70.5 °F"},
            {tag: "freezing", celsius: 0, fahrenheit: true, text: "32.0 °F"},
            {tag: "no reading", celsius: undefined, fahrenheit: true, text: "\u2014"},
        ]
    }

    function test_temperature(data) {
        compare(Theme.temperature(data.celsius, data.fahrenheit), data.text)
    }

    function test_duration_data() {
        return [
            {tag: "minutes", minutes: 59, text: "59 min"},
            {tag: "hours", minutes: 127, text: "2 h 07 min"},
            {tag: "no reading", minutes: undefined, text: "\u2014"},
        ]
    }

    function test_duration(data) {
        compare(Theme.duration(data.minutes), data.text)
    }
}
