import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Layouts 1.15

// The head unit's screen: gauges on the left, the car in the middle, climate and status on the right.
Window {
    id: window
    width: 1280
    height: 720
    visible: true
    color: Theme.background
    title: "canservice dashboard - " + car.source

    RowLayout {
        anchors.fill: parent
        anchors.margins: 12
        spacing: 12

        ColumnLayout {
            Layout.preferredWidth: 300
            Layout.maximumWidth: 300
            Layout.fillWidth: false
            Layout.fillHeight: true
            spacing: 12
            Gauge {
                objectName: "speedGauge"
                Layout.fillWidth: true
                Layout.fillHeight: true
                label: "Speed"
                value: car.values["Vehicle.Speed"]
                unit: car.units["Vehicle.Speed"] || "km/h"
                maximum: 240
            }
            Gauge {
                objectName: "rpmGauge"
                Layout.fillWidth: true
                Layout.fillHeight: true
                label: "Engine"
                value: car.values["Vehicle.Powertrain.CombustionEngine.Speed"]
                unit: "rpm"
                maximum: 8000
                dialScale: 1000
                labelStep: 1
                dialLabel: "x1000 rpm"
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 12
            CarView {
                Layout.fillWidth: true
                Layout.fillHeight: true
            }
            TripPanel {
                Layout.fillWidth: true
                Layout.preferredHeight: 180
            }
        }

        ColumnLayout {
            Layout.preferredWidth: 380
            Layout.maximumWidth: 380
            Layout.fillWidth: false
            Layout.fillHeight: true
            spacing: 12
            ClimatePanel {
                Layout.fillWidth: true
                Layout.fillHeight: true
            }
            StatusPanel {
                Layout.fillWidth: true
                Layout.preferredHeight: 300
            }
        }
    }
}
