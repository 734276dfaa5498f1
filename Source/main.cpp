#include <cstdio>

#include "bitboard.h"
#include "records.h"

int main()
{
    init_board_tables();
    if (setup_game_record() != 0) return 1;
    std::printf("Vant 3.60\n");
    return 0;
}
