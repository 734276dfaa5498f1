// The engine's three shared records: SearchState (options, limits, clocks,
// stop byte, shared result), EngineConfig (process switches and file names)
// and ThreadData (one per search thread plus the game record).
#pragma once

#include <atomic>
#include <cstddef>
#include <new>

#include "eval_types.h"
#include "score.h"
#include "tt.h"
#include "types.h"

constexpr int MAX_THREADS = 80;

// The name the engine announces ("id name") and the benchmark prints.
constexpr const char* ENGINE_NAME = "Vant 3.60";

// Values of the stop byte. The search tests only for STOP_RUN or not; the
// console report plays the move of an "mv" search unless it was aborted.
constexpr u8 STOP_RUN = 0;
constexpr u8 STOP_NORMAL = 1;
constexpr u8 STOP_ABORT = 2;
constexpr u8 STOP_NO_MOVES = 3;
constexpr u8 STOP_LEAVE = 99;

// Values of the search state and of the search command: the clock copies
// the command into the state when the search starts.
constexpr u8 SEARCH_NONE = 0;     // no search runs (state), none is asked for (command)
constexpr u8 SEARCH_THINK = 1;    // on the engine's own move
constexpr u8 SEARCH_PONDER = 2;   // on the opponent's time, until "ponderhit" or "stop"
constexpr u8 SEARCH_ANALYSE = 3;  // console analysis

// Values of a thread's command byte.
constexpr u8 THREAD_IDLE = 0;
constexpr u8 THREAD_SEARCH = 1;
constexpr u8 THREAD_LEAVE = 99;   // (the thread leaves on any value from 99 to 127)

// Values of a thread's result kind; the clock reads them to judge how
// settled the search is.
constexpr u8 RESULT_NONE = 0;       // no bound pending for the root move
constexpr u8 RESULT_FAIL_LOW = 1;
constexpr u8 RESULT_FAIL_HIGH = 2;
constexpr u8 RESULT_DROPPED = 99;   // iteration dropped: thread 0 had finished it

// Values of the time mode: above TIME_MODE_FIXED it is a number of moves
// per time control.
constexpr u8 TIME_MODE_CLOCK = 0;        // the game clock and its increment
constexpr u8 TIME_MODE_FIXED = 1;        // a fixed time per move; also depth, node and infinite limits
constexpr u8 TIME_MODE_MOVES_TO_GO = 40; // UCI "movestogo": the moves left are in moves_to_go

// Values of the easy-move flag, which lets the clock stop a search early.
constexpr u8 EASY_NONE = 0;
constexpr u8 EASY_ONLY_MOVE = 1;         // the root has one legal move: stop now
constexpr u8 EASY_CLEAR_BEST = 2;        // a settled best move far ahead: stop after half the target

// Values of the use-table byte.
constexpr u8 TABLE_OFF = 0;              // probes miss and nothing is stored
constexpr u8 TABLE_ON = 1;               // cleared before each console analysis
constexpr u8 TABLE_KEPT = 2;             // (and above) kept between console analyses

// Indices of the search state's summed counters: an order of their own,
// not ThreadCounter's.
enum SummedCounter {
    SUM_NODES = 0,
    SUM_EVAL_PROBES,
    SUM_EVAL_HITS,
    SUM_HASH_PROBES,
    SUM_HASH_HITS,
    SUM_PAWN_PROBES,
    SUM_PAWN_HITS,
    SUM_TB_HITS,
    SUM_COUNT
};

// Values of the protocol mode.
constexpr u16 PROTOCOL_CONSOLE = 0;
constexpr u16 PROTOCOL_UCI = 1;

// The depth a tablebase root move carries: beyond every iteration.
constexpr u8 TB_ROOT_MOVE_DEPTH = 99;

// An output delay of this many seconds (or more) prints no "info" lines.
constexpr double OUTPUT_DELAY_QUIET = 9999;

// Longest tablebase path list and book file name the engine holds; a longer
// one is refused with a message, never cut.
constexpr int PATH_TEXT_LIMIT = 4096;

// Fields polled by one thread while another writes them are atomics (relaxed
// access is enough: they carry no data dependencies, only "look again").
// The most principal variations a search reports ("MultiPV").
constexpr int MAX_MULTIPV = 255;

struct SearchState {
    u8 thread_count = 1;
    u8 use_table = TABLE_ON;            // TABLE_*
    i16 hash_size = 64;
    u16 hash_age = 0;
    u16 ponder = 1;
    std::atomic<u16> multipv{1};        // 1 .. MAX_MULTIPV; "setoption" may change it under a search
    u8 own_book = 0;
    u8 book_depth = 24;
    i16 book_variety = 30;
    double move_overhead = 0.05;
    u8 engine_colour = 0;
    std::atomic<u8> search_state{SEARCH_NONE};    // SEARCH_*
    std::atomic<u8> search_command{SEARCH_NONE};  // SEARCH_*
    u8 infinite = 0;                    // the last "go" said "infinite"
    u8 report_on_stop = 0;              // the running search is reported only after "stop"
    u8 quiescence_only = 0;             // the running search has depth limit 0
    u8 position_valid = 1;              // 0 after a "position" the engine could not set up
    u16 fallback_move = 0;              // a legal move of the searched position, for a search stopped without one
    // A "go" sets the limits while the search it aborts may still read them.
    std::atomic<u64> node_limit{0};
    std::atomic<u8> depth_limit{MAX_SEARCH_PLY};
    u8 time_mode = TIME_MODE_FIXED;     // TIME_MODE_*, or moves per control
    double move_time = 5.0;
    double increment = 0.0;
    double clocks[2] = {5.0, 5.0};
    u16 moves_to_go = 0;
    double target_time = 1.0;
    double hard_time_limit = 1e30;      // elapsed time at which the search stops, whatever its depth
    std::atomic<double> elapsed_time{0.0};
    std::atomic<u8> stop{STOP_RUN};
    double calibration_rate = 0.0;
    double strength_ceiling = 0.0;
    std::atomic<double> target_rate{1e9};  // "UCI_Elo": read at every node
    std::atomic<u8> published_iteration{0};
    i8 best_depth = 0;
    i16 best_score = -MATE;
    u8 best_bound = BOUND_EXACT;        // the shared score is exact, or a fail high of a search cut short
    // The mark the shared line was printed with (BOUND_EXACT when it was not
    // printed): a finished iteration whose line went out as a bound prints it
    // again, exact. Thread 0 alone reads and writes it.
    u8 best_line_mark = BOUND_EXACT;
    u16 best_line[MAX_PLY] = {};
    i16 epd_root_words[2] = {};
    u8 last_change_depth = 0;
    std::atomic<u8> easy_move{EASY_NONE};    // EASY_*
    std::atomic<u8> last_finished_depth{0};  // read by the other threads to drop finished iterations
    double last_finished_time = 0.0;
    i16 score_by_depth[MAX_PLY] = {};
    u16 move_by_depth[MAX_PLY] = {};
    std::atomic<u64> nodes_by_depth[MAX_PLY] = {};  // every thread adds to it
    u64 summed_counters[SUM_COUNT] = {};  // see SummedCounter
    // Set when the search threads were replaced between the end of a search
    // and its report (a "Threads" change): the sums above, thread 0's deepest
    // ply and its line count are the ones its own threads left, since the new
    // records start empty. The next search start clears it.
    u8 figures_kept = 0;
    u8 kept_sel_depth = 0;
    u8 kept_lines = 1;
    double hash_fill = 0.0;
    char tb_path[PATH_TEXT_LIMIT + 1] = {};
    std::atomic<i16> probe_depths[3] = {1, 2, 100};  // "SyzygyProbeDepth5", "6", and 7 pieces
    i32 root_tb_result = TB_CODE_NONE;
    // Thread 0's root probe: the code of each root move (count 0 when the
    // tables could not tell them), so that a MultiPV line shows its own.
    RootMoveCodes root_tb_moves = {};
    i16 root_tb_score[2] = {};
    u16 tb_move = 0;
    i32 diagnostic_counters[4] = {};
};

struct EngineConfig {
    std::atomic<u8> quit{0};
    u8 builtin_pst = 1;
    double output_delay = 0.0;          // seconds before "info" lines are printed
    u8 ready = 1;
    std::atomic<u16> log{1};            // "Log": read by every line sent, from any thread
    u16 numa = 0;
    u16 trace_depth = 0;
    u16 debug = 0;
    u64 trace_tag = 0;
    EvalTrace eval_trace = {};
    char test_file[140] = {};
    char match_file[140] = {};
    char book_file[PATH_TEXT_LIMIT + 1] = "vant.opn";
    u16 protocol = PROTOCOL_UCI;        // PROTOCOL_*
};

// Indices of the per-thread counters.
enum ThreadCounter {
    CNT_NODES = 0,
    CNT_TB_HITS,
    CNT_EVAL_PROBES,
    CNT_EVAL_HITS,
    CNT_HASH_PROBES,
    CNT_HASH_HITS,
    CNT_PAWN_PROBES,
    CNT_PAWN_HITS,
};

// A counter that only its own thread advances and that other threads read as
// a snapshot (the report sums them while the search runs). Relaxed loads and
// stores, no read-modify-write: as cheap as a plain increment.
struct CounterCell {
    std::atomic<u64> value;
    operator u64() const { return value.load(std::memory_order_relaxed); }
    CounterCell& operator=(u64 v)
    {
        value.store(v, std::memory_order_relaxed);
        return *this;
    }
    CounterCell& operator+=(u64 v)
    {
        value.store(value.load(std::memory_order_relaxed) + v, std::memory_order_relaxed);
        return *this;
    }
    CounterCell& operator++() { return *this += 1; }
    u64 operator++(int)
    {
        u64 old = *this;
        *this += 1;
        return old;
    }
};

struct ThreadData {
    UndoRecord undo[UNDO_STACK_SIZE];
    PlyRecord ply[MAX_PLY];
    MoveEntry move_stack[MOVE_STACK_SIZE];
    i16 history[16][64];
    u16 countermove[1024];
    u16 countermove2[1024];
    u16 followup[1024];
    EvalCacheEntry eval_cache[EVAL_CACHE_SIZE];
    PawnHashEntry pawn_hash[PAWN_HASH_SIZE];
    EvalTables eval_tables;
    EvalWork eval_work;
    Position pos;
    u16 pv[MAX_PLY];
    u16 undo_count;
    u32 dropped_plies;                  // game record: plies of a long game no longer held
    u16 search_ply;
    u16 last_move;
    u8 index;                           // 255 in the game record
    std::atomic<u8> command;            // THREAD_*
    std::atomic<u8> current_depth;
    std::atomic<u8> result_kind;        // RESULT_*; read by the clock
    u8 completed_depth;                 // TB_ROOT_MOVE_DEPTH for a tablebase root move
    u8 sel_depth;
    u32 seed;
    std::atomic<i16> completed_score;   // read by the clock
    i16 root_static_eval;
    u64 node_limit;
    CounterCell counters[8];            // see ThreadCounter
    u16 ext_accumulator;                // sixteenths of a ply
    u8 singular_count;
    // The MultiPV count of the iteration this thread searches: the option is
    // read once per iteration, so a change under the search never mixes
    // counts within one.
    std::atomic<u8> iteration_multipv;

    // Each record sits on its own 2 MB boundary in 64-bit Linux builds, so the
    // kernel can back it with one huge page: the eval cache and pawn hash
    // are read at every node, and their pages would otherwise miss the
    // TLB as often as their cache lines miss the caches.
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block) noexcept;
};

// PV entry 1 of a thread, the root move it currently holds. The clock reads
// it while the thread writes it, so both sides go through these.
inline Move thread_root_move(const ThreadData* td)
{
    return std::atomic_ref<u16>(const_cast<u16&>(td->pv[1])).load(std::memory_order_relaxed);
}
inline void set_thread_root_move(ThreadData* td, Move move)
{
    std::atomic_ref<u16>(td->pv[1]).store(move, std::memory_order_relaxed);
}

extern SearchState search_state;
extern EngineConfig engine_config;
extern std::atomic<ThreadData*> thread_table[MAX_THREADS];
extern ThreadData* game_record;

// Loose globals beside the records.
extern i32 extra_report;      // "-uci_extra"
extern i32 single_thread_bench; // "-pbench"

// Allocates a zero-filled ThreadData (nullptr when memory is short).
ThreadData* allocate_thread_data();
// Sets up the game record: index 255, owner link, empty undo stack, ply 1.
// Returns 0, or -1 when it cannot be allocated.
int setup_game_record();
// Points the ply records 0 and 1 at the first two move-stack slots and links
// the position to its owner.
void reset_thread_links(ThreadData* td);
