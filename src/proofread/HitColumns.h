#pragma once

// The columns of the hit rows in resultGrid.
enum HitColumn { NumberColumn, FileColumn, PositionColumn, WrongColumn, RightColumn, TickColumn };
