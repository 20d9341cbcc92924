#pragma once

#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QWidget>
#include <memory>
#include <vector>

// The bare toolkit's window the main window is measured against: the same size, the same
// widgets (a two-column list of the six samples and seven buttons with the same captions), and
// nothing of the program's start-up steps.
struct BareWindow {
    QWidget window;
    QStandardItemModel model{0, 2};
    QTreeView list{&window};
    std::vector<std::unique_ptr<QPushButton>> buttons;

    BareWindow() {
        static const char* const captions[] = {"Start Creating Template",
                                               "Help",
                                               "Load Sample/Example Data",
                                               "Add New",
                                               "Delete Selected Entry",
                                               "Edit Selected Entry",
                                               "Clear List"};
        window.setFixedSize(536, 320);
        model.setHorizontalHeaderLabels({"Label", "Number (Value)"});
        for (const char* amount : {"25000", "55000", "15000", "250000", "11000", "7500"})
            model.appendRow({new QStandardItem("Asset"), new QStandardItem(amount)});
        list.setModel(&model);
        list.setGeometry(8, 100, 520, 150);
        int y = 8;
        for (const char* caption : captions) {
            buttons.push_back(std::make_unique<QPushButton>(caption, &window));
            buttons.back()->setGeometry(8, y, 256, 27);
            y += 12;
        }
    }
    ~BareWindow() {
        buttons.clear();  // before the window that is their parent
    }
};
