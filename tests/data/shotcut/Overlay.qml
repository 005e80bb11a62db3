import QtQuick 2.12

// The Light Shafts player overlay in Harness.qml.
Harness {
    view: "vui.qml"
}
