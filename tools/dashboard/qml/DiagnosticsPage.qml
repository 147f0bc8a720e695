import QtQuick 2.15

// The bench engineer's page: the link and its counters with the box's settings, what the box
// sends as codes without meaning with the climate keys, and every trip computer item. Each panel
// as tall as what it holds.
Item {
    id: page
    property real gap
    readonly property var shares: [0.32, 0.34, 0.34]
    function columnX(i) { let x = 0; for (let c = 0; c < i; ++c) x += shares[c] * (width + gap); return x }
    function columnWidth(i) { return shares[i] * (width + gap) - gap }

    StatusPanel {
        objectName: "panel.status"
        x: page.columnX(0); y: 0
        width: page.columnWidth(0); height: implicitHeight
    }
    CodesPanel {
        objectName: "panel.codes"
        x: page.columnX(1); y: 0
        width: page.columnWidth(1); height: implicitHeight
    }
    TripPanel {
        objectName: "panel.tripItems"
        complete: true
        x: page.columnX(2); y: 0
        width: page.columnWidth(2); height: implicitHeight
    }
}
