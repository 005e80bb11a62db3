// The Light Shafts player overlay: the centre of the rays as a handle the user drags
// in the player, also outside the picture (Center X and Y from -100 % to 200 %).
// Where the centre has keyframes, a drag sets the keyframe at the current frame.
import QtQuick 2.12
import Shotcut.Controls 1.0 as Shotcut

Shotcut.VuiBase {
    property string centerX: 'Center X'
    property string centerY: 'Center Y'
    property real zoom: (video.zoom > 0) ? video.zoom : 1
    property int handleSize: Math.max(Math.round(24 / zoom), 10)
    property bool blockUpdate: false

    function getPosition() {
        return Math.max(producer.position - (filter.in - producer.in), 0);
    }

    function setHandle() {
        var position = getPosition();
        blockUpdate = true;
        handle.x = filter.getDouble(centerX, position) * videoItem.width - handleSize / 2;
        handle.y = filter.getDouble(centerY, position) * videoItem.height - handleSize / 2;
        blockUpdate = false;
    }

    function setCenter(property, value) {
        if (filter.animateIn <= 0 && filter.animateOut <= 0 && filter.keyframeCount(property) > 0)
            filter.set(property, value, getPosition());
        else
            filter.set(property, value);
    }

    // Both values come from one reading of the handle: writing X makes the filter report a change, which puts the
    // handle back where the filter's values are, Y included, before Y would otherwise be read.
    function updateFilter() {
        if (blockUpdate)
            return ;

        var x = (handle.x + handleSize / 2) / videoItem.width;
        var y = (handle.y + handleSize / 2) / videoItem.height;
        setCenter(centerX, x);
        setCenter(centerY, y);
    }

    Component.onCompleted: setHandle()

    Flickable {
        anchors.fill: parent
        interactive: false
        contentWidth: video.rect.width * zoom
        contentHeight: video.rect.height * zoom
        contentX: video.offset.x
        contentY: video.offset.y

        Item {
            id: videoItem

            x: video.rect.x
            y: video.rect.y
            width: video.rect.width
            height: video.rect.height
            scale: zoom

            Rectangle {
                id: handle

                objectName: 'centreHandle'
                width: handleSize
                height: handleSize
                radius: handleSize / 2
                color: 'transparent'
                border.color: 'white'
                border.width: Math.max(Math.round(2 / zoom), 1)
                opacity: 0.9

                Rectangle {
                    anchors.centerIn: parent
                    width: parent.width / 4
                    height: width
                    radius: width / 2
                    color: 'white'
                    border.color: 'black'
                }

                MouseArea {
                    anchors.fill: parent
                    acceptedButtons: Qt.LeftButton
                    cursorShape: Qt.SizeAllCursor
                    drag.target: parent
                    drag.minimumX: -videoItem.width - handleSize / 2
                    drag.maximumX: 2 * videoItem.width - handleSize / 2
                    drag.minimumY: -videoItem.height - handleSize / 2
                    drag.maximumY: 2 * videoItem.height - handleSize / 2
                    onPositionChanged: updateFilter()
                }
            }
        }
    }

    Connections {
        function onChanged() {
            setHandle();
            videoItem.enabled = filter.get('disable') !== '1';
        }

        target: filter
    }

    Connections {
        function onPositionChanged() {
            setHandle();
        }

        target: producer
    }

    Connections {
        function onRectChanged() {
            setHandle();
        }

        target: video
    }
}
