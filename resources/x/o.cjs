/* Morrowlin skin: a calm, flat look in slate blue and soft grey. A Qt style sheet. */

QPushButton {
    color: #1f2d3d;
    background-color: #e9eef4;
    border: 1px solid #9aabbf;
    border-radius: 4px;
    padding: 2px 10px;
}
QPushButton:hover {
    background-color: #dbe5f0;
    border-color: #4f6d8f;
}
QPushButton:pressed {
    background-color: #c5d4e6;
}
QPushButton:focus {
    border: 1px solid #2f5d8c;
}
QPushButton:disabled {
    color: #8a96a3;
    background-color: #f1f3f5;
}

QTreeView {
    color: #1f2d3d;
    background-color: #ffffff;
    alternate-background-color: #f4f7fa;
    border: 1px solid #9aabbf;
    selection-background-color: #4f6d8f;
    selection-color: #ffffff;
}
QHeaderView::section {
    color: #ffffff;
    background-color: #4f6d8f;
    border: none;
    border-right: 1px solid #6d88a6;
    padding: 3px 6px;
    font-weight: bold;
}

QToolTip {
    color: #1f2d3d;
    background-color: #fdf8e4;
    border: 1px solid #c9b97a;
}
