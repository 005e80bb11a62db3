// Loads a Light Shafts view with Shotcut's own controls, in place of Shotcut's program:
// the objects Shotcut gives its filter views (filter, producer, video, ...) are this item's properties, which the
// loaded files see as Shotcut's context. The filter here keeps plain values and keyframes as MLT would, and reports
// each change at once, as Shotcut's does. Prints one "PASS name" or "FAIL name: why" line per check, then quits.
// Overlay.qml loads it for the player overlay (vui.qml). The panel (ui.qml) needs controls that only Shotcut's
// program registers (its spin boxes' edit menu), so it cannot be loaded here.
import QtQuick 2.12

Item {
    id: harness

    property string view
    property int failures: 0
    property QtObject filter: QtObject {
        property bool isNew: false
        property int animateIn: 0
        property int animateOut: 0
        property int duration: 100
        property var values: ({'Threshold': 0.5, 'Threshold Smooth': 0, 'Center X': 0.5, 'Center Y': 0.5,
                               'Shine Length': 1, 'Exposure': 0.1, 'Quality': 0.5, 'Ray Only': 0})
        // Per property, the positions of its keyframes (none: a plain value).
        property var keys: ({})

        signal changed(string name)
        signal propertyChanged(string name)

        function get(name) { return name === 'disable' ? '0' : String(values[name]); }
        function getDouble(name, position) { return Number(values[name]); }
        function set(name, value, position) {
            values[name] = value;
            if (position !== undefined) {
                var list = keys[name] || [];
                list.push(position);
                keys[name] = list;
            }
            changed(name);
        }
        function keyframeCount(name) { return keys[name] ? keys[name].length : -1; }
        function resetProperty(name) { delete keys[name]; }
    }
    property QtObject producer: QtObject { property int position: 12 }
    property QtObject video: QtObject {
        property real zoom: 1
        property rect rect: Qt.rect(0, 0, 640, 400)
        property point offset: Qt.point(0, 0)
        property int grid: 0
    }
    property QtObject metadata: QtObject { property QtObject keyframes: QtObject { property bool enabled: true } }
    property QtObject profile: QtObject { property int width: 640; property int height: 400 }

    function check(name, condition, why) {
        if (condition) {
            console.log('PASS ' + name);
        } else {
            failures++;
            console.log('FAIL ' + name + ': ' + why);
        }
    }

    function find(item, test) {
        if (test(item))
            return item;
        for (var i = 0; i < item.children.length; i++) {
            var found = find(item.children[i], test);
            if (found)
                return found;
        }
        return null;
    }

    // A drag of the centre handle to these fractions of the picture, as the overlay's mouse area reports it.
    function drag(overlay, x, y) {
        var handle = find(overlay, function(item) { return item.objectName === 'centreHandle'; });
        handle.x = x * 640 - handle.width / 2;
        handle.y = y * 400 - handle.height / 2;
        overlay.updateFilter();
    }

    function checkOverlay(overlay) {
        drag(overlay, 0.25, 0.75);
        check('diagonal drag sets both', Math.abs(filter.values['Center X'] - 0.25) < 1e-9 &&
              Math.abs(filter.values['Center Y'] - 0.75) < 1e-9,
              'centre ' + filter.values['Center X'] + ', ' + filter.values['Center Y']);
        check('plain drag writes no keyframe', filter.keyframeCount('Center X') < 0 && filter.keyframeCount('Center Y') < 0,
              JSON.stringify(filter.keys));
        filter.keys = {'Center X': [0], 'Center Y': [0]};
        drag(overlay, -0.5, 1.5);
        check('drag with keyframes writes them at the playhead',
              filter.keys['Center X'].length === 2 && filter.keys['Center X'][1] === 12 &&
              filter.keys['Center Y'].length === 2 && filter.keys['Center Y'][1] === 12 &&
              filter.values['Center X'] === -0.5 && filter.values['Center Y'] === 1.5, JSON.stringify(filter.keys));
    }

    // Shotcut's filter and producer have a property "in" (their first frame), a name QML cannot declare.
    Component.onCompleted: {
        Object.defineProperty(filter, 'in', {value: 0});
        Object.defineProperty(producer, 'in', {value: 0});
        loader.active = true;
    }

    Loader {
        id: loader

        width: 640
        height: 400
        active: false
        source: '../../../frei0r/shotcut/ostrel_solvane/' + view
        onStatusChanged: {
            if (status === Loader.Error) {
                check('loads', false, 'the file did not load');
            } else if (status === Loader.Ready) {
                checkOverlay(item);
            } else {
                return;
            }
            console.log(failures === 0 ? 'ALL PASSED' : failures + ' FAILED');
            Qt.quit();
        }
    }
}
