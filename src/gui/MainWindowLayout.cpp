#include "gui/MainWindowLayout.h"

MainWindowLayout designLayout() {
    MainWindowLayout l;
    l.label1 = QRect(0, 0, 776, 472);
    l.filePanel = QRect(2, 48, 358, 392);
    l.directoryBox = QRect(16, 48, 134, 208);
    l.fileCheckList = QRect(150, 49, 192, 335);
    l.drawPad = QRect(17, 256, 133, 128);
    l.documentEdit = QRect(361, 47, 408, 280);
    l.resultGrid = QRect(361, 328, 408, 112);
    l.busyLabel = QRect(445, 160, 240, 24);
    l.progressBar = QRect(421, 195, 288, 24);
    l.label4 = QRect(232, 192, 344, 56);
    return l;
}

MainWindowLayout layoutForSize(int W, int H) {
    MainWindowLayout l = designLayout();
    // Each rule reads what the rules before it wrote; results are truncated, as
    // integer division and the casts below do for the non-negative sizes used.
    l.label1.setWidth(W - 4);
    l.label1.setHeight(H - 2);
    l.label4.moveLeft(W / 2 - 172);
    l.label4.moveTop(static_cast<int>(H / 2.5));
    l.filePanel.setHeight(H - 127);
    l.fileCheckList.setHeight(l.filePanel.height() - 57);
    l.drawPad.moveTop(l.fileCheckList.top() + l.fileCheckList.height() - 128);
    l.directoryBox.setHeight(l.filePanel.height() - 184);
    l.documentEdit.setWidth(W - 370);
    l.documentEdit.setHeight(H * 280 / 476);
    l.busyLabel.moveLeft(l.documentEdit.left() + (l.documentEdit.width() - 240) / 2);
    l.busyLabel.moveTop(l.documentEdit.top() + static_cast<int>(l.documentEdit.height() / 2.5));
    l.progressBar.moveTop(l.busyLabel.top() + 30);
    l.progressBar.moveLeft(l.busyLabel.left() - 24);
    l.resultGrid.setWidth(l.documentEdit.width());
    l.resultGrid.moveTop(l.documentEdit.top() + l.documentEdit.height() + 2);
    l.resultGrid.setHeight(l.filePanel.height() - l.documentEdit.height() - 2);
    l.resultGridDefaultColumnWidth = (l.resultGrid.width() - 20 - W * 220 / 778) / 4;
    l.resultGridColumn1Width = W * 110 / 778;
    l.resultGridColumn2Width = W * 110 / 778;
    return l;
}
