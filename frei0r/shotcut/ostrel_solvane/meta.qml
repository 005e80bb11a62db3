// Shotcut's description of the frei0r module ostrel_solvane: its name in the
// filter list, its panel (ui.qml), its player overlay (vui.qml) and the values
// that keyframes animate. Properties are the module's frei0r parameter names.
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('Light Shafts')
    keywords: qsTr('light rays god rays sun beams glow volumetric', 'search keywords for the Light Shafts video filter') + ' ostrel solvane'
    mlt_service: 'frei0r.ostrel_solvane'
    objectName: 'ostrel_solvane'
    qml: 'ui.qml'
    vui: 'vui.qml'

    keyframes {
        allowAnimateIn: true
        allowAnimateOut: true
        simpleProperties: ['Threshold', 'Threshold Smooth', 'Center X', 'Center Y', 'Shine Length', 'Exposure']
        parameters: [
            Parameter {
                name: qsTr('Threshold')
                property: 'Threshold'
                isCurve: true
                minimum: 0
                maximum: 1
            },
            Parameter {
                name: qsTr('Threshold Smooth')
                property: 'Threshold Smooth'
                isCurve: true
                minimum: 0
                maximum: 1
            },
            Parameter {
                name: qsTr('Center X')
                property: 'Center X'
                isCurve: true
                minimum: -1
                maximum: 2
            },
            Parameter {
                name: qsTr('Center Y')
                property: 'Center Y'
                isCurve: true
                minimum: -1
                maximum: 2
            },
            Parameter {
                name: qsTr('Shine Length')
                property: 'Shine Length'
                isCurve: true
                minimum: 0
                maximum: 1
            },
            Parameter {
                name: qsTr('Exposure')
                property: 'Exposure'
                isCurve: true
                minimum: 0
                maximum: 1
            }
        ]
    }
}
