// The board the program's port functions reach in tolvi-sim.
#pragma once

class Board;

// The board that IoRead8, IoWrite8 and Stall reach; null when no board is
// attached (ports then read 0xFF and Stall does nothing).
extern Board* g_sim_board;
inline void SimSetBoard(Board* board) { g_sim_board = board; }
inline Board* SimCurrentBoard() { return g_sim_board; }
