#include <gtest/gtest.h>

#include "gui/MainWindowLayout.h"

namespace {

struct Expected {
    int w, h;
    QRect label1, label4, filePanel, directoryBox, fileCheckList, drawPad, documentEdit, busyLabel,
        progressBar, resultGrid;
    int defaultColumn, column1, column2;
};

void check(const Expected& x) {
    SCOPED_TRACE(testing::Message() << x.w << " x " << x.h);
    const MainWindowLayout l = layoutForSize(x.w, x.h);
    EXPECT_EQ(l.label1, x.label1);
    EXPECT_EQ(l.label4, x.label4);
    EXPECT_EQ(l.filePanel, x.filePanel);
    EXPECT_EQ(l.directoryBox, x.directoryBox);
    EXPECT_EQ(l.fileCheckList, x.fileCheckList);
    EXPECT_EQ(l.drawPad, x.drawPad);
    EXPECT_EQ(l.documentEdit, x.documentEdit);
    EXPECT_EQ(l.busyLabel, x.busyLabel);
    EXPECT_EQ(l.progressBar, x.progressBar);
    EXPECT_EQ(l.resultGrid, x.resultGrid);
    EXPECT_EQ(l.resultGridDefaultColumnWidth, x.defaultColumn);
    EXPECT_EQ(l.resultGridColumn1Width, x.column1);
    EXPECT_EQ(l.resultGridColumn2Width, x.column2);
}

TEST(MainWindowLayout, DesignSizeReproducesTheDesignBesidesTheTallerEditor) {
    check({778, 519, QRect(0, 0, 774, 517), QRect(217, 207, 344, 56), QRect(2, 48, 358, 392),
           QRect(16, 48, 134, 208), QRect(150, 49, 192, 335), QRect(17, 256, 133, 128),
           QRect(361, 47, 408, 305), QRect(445, 169, 240, 24), QRect(421, 199, 288, 24),
           QRect(361, 354, 408, 85), 42, 110, 110});
}

TEST(MainWindowLayout, LargerAndSmallerWindows) {
    check({1024, 768, QRect(0, 0, 1020, 766), QRect(340, 307, 344, 56), QRect(2, 48, 358, 641),
           QRect(16, 48, 134, 457), QRect(150, 49, 192, 584), QRect(17, 505, 133, 128),
           QRect(361, 47, 654, 451), QRect(568, 227, 240, 24), QRect(544, 257, 288, 24),
           QRect(361, 500, 654, 188), 86, 144, 144});
    check({640, 480, QRect(0, 0, 636, 478), QRect(148, 192, 344, 56), QRect(2, 48, 358, 353),
           QRect(16, 48, 134, 169), QRect(150, 49, 192, 296), QRect(17, 217, 133, 128),
           QRect(361, 47, 270, 282), QRect(376, 159, 240, 24), QRect(352, 189, 288, 24),
           QRect(361, 331, 270, 69), 17, 90, 90});
}

}  // namespace
