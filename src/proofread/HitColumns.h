#pragma once

// The columns of the hit rows in resultGrid.
enum HitColumn { NumberColumn, FileColumn, PositionColumn, WrongColumn, RightColumn, TickColumn };
inline constexpr int kHitColumns = TickColumn + 1;
