#pragma once

// The columns of the hit rows in resultGrid.
enum HitColumn {
    NumberColumn,
    FileColumn,
    PositionColumn,
    WrongColumn,
    RightColumn,
    TickColumn,
    ContextColumn
};
inline constexpr int kHitColumns = ContextColumn + 1;
