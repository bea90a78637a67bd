#pragma once

#include <QRect>

// Where the main window's controls go for an outer window size W x H.
// Coordinates are within each control's parent, as in the window design.
struct MainWindowLayout {
    QRect label1;
    QRect label4;
    QRect filePanel;
    QRect directoryBox;   // in filePanel
    QRect fileCheckList;  // in filePanel
    QRect drawPad;        // in filePanel
    QRect documentEdit;
    QRect busyLabel;
    QRect progressBar;
    QRect resultGrid;
    int resultGridDefaultColumnWidth = 0;
    int resultGridColumn1Width = 0;
    int resultGridColumn2Width = 0;
};

// The design geometry of the window at its design size 778 x 519.
MainWindowLayout designLayout();

// Applies the resize rules, in order, to the design geometry.
MainWindowLayout layoutForSize(int width, int height);
