// Two menus, kernel and rebuilt lines. They set the parameters by index ("0", "1"): MLT prefers
// an indexed name over the module's own name when a project holds both.
import QtQml.Models 2.12
import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Layouts 1.12
import Shotcut.Controls 1.0 as Shotcut

Item {
    property string paramKernel: '0'
    property string paramField: '1'

    function selectCurrent(combo, model, param) {
        var current = filter.get(param);
        for (var i = 0; i < model.count; ++i) {
            if (model.get(i).value === current) {
                combo.currentIndex = i;
                return;
            }
        }
        combo.currentIndex = 0;
    }

    width: 200
    height: 80
    Component.onCompleted: {
        if (filter.isNew) {
            filter.set(paramKernel, kernelModel.get(0).value);
            filter.set(paramField, fieldModel.get(0).value);
        }
        selectCurrent(kernelCombo, kernelModel, paramKernel);
        selectCurrent(fieldCombo, fieldModel, paramField);
    }

    GridLayout {
        anchors.fill: parent
        anchors.margins: 8
        columns: 3

        Label {
            text: qsTr('Kernel')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ComboBox {
            id: kernelCombo

            implicitWidth: 200
            textRole: 'text'
            onActivated: filter.set(paramKernel, kernelModel.get(currentIndex).value)

            model: ListModel {
                id: kernelModel

                ListElement {
                    text: qsTr('Copy line')
                    value: 'copy'
                }

                ListElement {
                    text: qsTr('Two-point linear')
                    value: 'linear'
                }

                ListElement {
                    text: qsTr('Six-point weighted')
                    value: 'weighted'
                }

            }

        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set(paramKernel, kernelModel.get(0).value);
                kernelCombo.currentIndex = 0;
            }
        }

        Label {
            text: qsTr('Rebuilt lines')
            Layout.alignment: Qt.AlignRight
        }

        Shotcut.ComboBox {
            id: fieldCombo

            implicitWidth: 200
            textRole: 'text'
            onActivated: filter.set(paramField, fieldModel.get(currentIndex).value)

            model: ListModel {
                id: fieldModel

                ListElement {
                    text: qsTr('Even lines')
                    value: 'even'
                }

                ListElement {
                    text: qsTr('Odd lines')
                    value: 'odd'
                }

            }

        }

        Shotcut.UndoButton {
            onClicked: {
                filter.set(paramField, fieldModel.get(0).value);
                fieldCombo.currentIndex = 0;
            }
        }

        Item {
            Layout.fillHeight: true
        }

    }

}
