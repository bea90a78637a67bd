#pragma once

// The window design counts a grid's header as row 0 and its data rows from 1;
// a Qt grid keeps its header apart and counts data rows from 0.
inline int qtRowOf(int designRow) { return designRow - 1; }
inline int designRowOf(int qtRow) { return qtRow + 1; }
