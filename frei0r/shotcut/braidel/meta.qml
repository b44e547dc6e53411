// braidel.so in the editor's Filters list; the panel is ui.qml beside this file.
import QtQuick 2.0
import org.shotcut.qml 1.0

Metadata {
    type: Metadata.Filter
    name: qsTr('Braidel: Stereo Field Rebuild')
    keywords: qsTr('interleaved stereo 3d field lines view', 'search keywords for the Braidel video filter') + ' braidel'
    objectName: 'braidel'
    mlt_service: 'frei0r.braidel'
    qml: 'ui.qml'
}
