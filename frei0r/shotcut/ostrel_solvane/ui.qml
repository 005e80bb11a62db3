// The Light Shafts panel: a slider with its unit, a reset and a keyframe button for
// each number, the Quality drop-down and the Ray Only check box. The module's values
// are 0 to 1 (the centre -1 to 2); a slider shows value * scale.
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

Shotcut.KeyframableFilter {
    id: panel

    // One row per keyframable number, in the module's order.
    property var numbers: [
        {property: 'Threshold', label: qsTr('Threshold'), tip: qsTr('How much of the picture shines: pixels brighter than 100 - Threshold per cent shine, so 0 lights nothing and 100 everything'), scale: 100, minimum: 0, maximum: 100, decimals: 0, suffix: ' %', value: 0.5},
        {property: 'Threshold Smooth', label: qsTr('Threshold Smooth'), scale: 100, minimum: 0, maximum: 100, decimals: 0, suffix: ' %', value: 0},
        {property: 'Center X', label: qsTr('Center X'), scale: 100, minimum: -100, maximum: 200, decimals: 1, suffix: ' %', value: 0.5},
        {property: 'Center Y', label: qsTr('Center Y'), scale: 100, minimum: -100, maximum: 200, decimals: 1, suffix: ' %', value: 0.5},
        {property: 'Shine Length', label: qsTr('Shine Length'), scale: 2048, minimum: 0, maximum: 2048, decimals: 0, suffix: ' px', value: 1},
        {property: 'Exposure', label: qsTr('Exposure'), scale: 100, minimum: 0, maximum: 100, decimals: 0, suffix: ' %', value: 0.1}
    ]
    property string quality: 'Quality'
    property double qualityDefault: 0.5
    property string rayOnly: 'Ray Only'

    function setControls() {
        var position = getPosition();
        blockUpdate = true;
        for (var i = 0; i < numbers.length; i++) {
            var row = rows.itemAt(i);
            row.slider.value = filter.getDouble(numbers[i].property, position) * numbers[i].scale;
            row.keyframesButton.checked = filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount(numbers[i].property) > 0;
        }
        qualityCombo.currentIndex = Math.round(filter.getDouble(quality) * 2);
        rayOnlyCheckBox.checked = filter.getDouble(rayOnly) >= 0.5;
        blockUpdate = false;
        enableControls(isSimpleKeyframesActive());
    }

    function enableControls(enabled) {
        for (var i = 0; i < numbers.length; i++)
            rows.itemAt(i).slider.enabled = enabled;
    }

    function updateSimpleKeyframes() {
        setControls();
        for (var i = 0; i < numbers.length; i++) {
            var row = rows.itemAt(i);
            updateFilter(numbers[i].property, row.slider.value / numbers[i].scale, row.keyframesButton, null);
        }
    }

    keyframableParameters: numbers.map(function(n) { return n.property; })
    startValues: numbers.map(function(n) { return n.value; })
    middleValues: numbers.map(function(n) { return n.value; })
    endValues: numbers.map(function(n) { return n.value; })
    width: 350
    height: 330
    Component.onCompleted: {
        if (filter.isNew) {
            for (var i = 0; i < numbers.length; i++)
                filter.set(numbers[i].property, numbers[i].value);
            filter.set(quality, qualityDefault);
            filter.set(rayOnly, 0);
            filter.savePreset(preset.parameters);
        }
        setControls();
    }

    GridLayout {
        anchors.fill: parent
        anchors.margins: 8
        columns: 2

        Label {
            text: qsTr('Preset')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.Preset {
            id: preset

            parameters: panel.keyframableParameters.concat([quality, rayOnly])
            onBeforePresetLoaded: resetSimpleKeyframes()
            onPresetSelected: {
                setControls();
                initializeSimpleKeyframes();
            }
        }

        Repeater {
            id: rows

            model: numbers.length

            RowLayout {
                property alias slider: slider
                // Not named "keyframes": this item's properties are visible inside Shotcut's KeyframesButton, whose
                // click calls Shotcut's Keyframes panel by that name.
                property alias keyframesButton: keyframesButton
                property var number: numbers[index]

                Layout.columnSpan: 2

                Label {
                    text: number.label
                    Layout.minimumWidth: 110
                    horizontalAlignment: Text.AlignRight

                    Shotcut.HoverTip {
                        text: number.tip || ''
                        visible: text !== ''
                    }
                }

                Shotcut.SliderSpinner {
                    id: slider

                    minimumValue: number.minimum
                    maximumValue: number.maximum
                    stepSize: number.decimals > 0 ? 0.1 : 1
                    decimals: number.decimals
                    suffix: number.suffix
                    onValueChanged: updateFilter(number.property, value / number.scale, keyframesButton, getPosition())
                }

                Shotcut.UndoButton {
                    onClicked: slider.value = number.value * number.scale
                }

                Shotcut.KeyframesButton {
                    id: keyframesButton

                    onToggled: {
                        enableControls(true);
                        toggleKeyframes(checked, number.property, slider.value / number.scale);
                    }
                }
            }
        }

        Label {
            text: qsTr('Quality')
            Layout.alignment: Qt.AlignRight
        }

        RowLayout {
            Shotcut.ComboBox {
                id: qualityCombo

                implicitWidth: 180
                model: [qsTr('High (slow)'), qsTr('Medium'), qsTr('Low (fast)')]
                onActivated: filter.set(quality, index / 2)
            }

            Shotcut.UndoButton {
                onClicked: {
                    qualityCombo.currentIndex = 1;
                    filter.set(quality, qualityDefault);
                }
            }
        }

        Label {
        }

        RowLayout {
            CheckBox {
                id: rayOnlyCheckBox

                text: qsTr('Ray Only')
                onClicked: filter.set(rayOnly, checked ? 1 : 0)
            }

            Shotcut.UndoButton {
                onClicked: {
                    rayOnlyCheckBox.checked = false;
                    filter.set(rayOnly, 0);
                }
            }
        }

        Item {
            Layout.fillHeight: true
        }
    }

    Connections {
        function onChanged() {
            setControls();
        }

        function onInChanged() {
            updateSimpleKeyframes();
        }

        function onOutChanged() {
            updateSimpleKeyframes();
        }

        function onAnimateInChanged() {
            updateSimpleKeyframes();
        }

        function onAnimateOutChanged() {
            updateSimpleKeyframes();
        }

        function onPropertyChanged(name) {
            setControls();
        }

        target: filter
    }

    Connections {
        function onPositionChanged() {
            setControls();
        }

        target: producer
    }
}
