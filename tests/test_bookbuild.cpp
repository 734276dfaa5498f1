// Book building from PGN: counts per position, the 50-move and 9-game
// limits, PGN noise that must add nothing, the round trip through the book
// probe, and the failure paths that must not destroy data.
#include "tool_fixture.h"

#include <algorithm>

#include "engine_process.h"

#include "tools/book.h"
#include "tools/bookbuild.h"

namespace {

struct BookBuildTest : ToolTest {
    void SetUp() override
    {
        ToolTest::SetUp();
        book_record_size = BOOK_RECORD_SIZE_LINUX;
        std::snprintf(engine_config.book_file, sizeof engine_config.book_file, "vant.opn");
    }

    void TearDown() override
    {
        // Leave the process with an ordinary (empty) book.
        engine_config.book_file[0] = 0;
        free_book_tables();
        load_book_index();
        ToolTest::TearDown();
    }

    std::string build(const std::string& pgn)
    {
        write_file("book.pgn", pgn);
        capture();
        run_mkbook_command();
        return captured();
    }

    static std::string game(const std::string& moves, const char* result)
    {
        return "[Event \"t\"]\n[Result \"" + std::string(result) + "\"]\n\n" + moves + " " + result + "\n\n";
    }

    static std::vector<BookRecord> records(const char* path)
    {
        std::vector<BookRecord> out;
        std::FILE* f = std::fopen(path, "rb");
        if (!f) return out;
        BookRecord r;
        while (read_book_record(f, &r)) out.push_back(r);
        std::fclose(f);
        return out;
    }

    // The record of the position after the moves, through the engine's own
    // book probe (the book file "book.opn" loaded as the engine would).
    static const BookRecord* probe(const std::vector<std::string>& moves, const char* start = START_FEN)
    {
        Position& pos = game_record->pos;
        set_position_from_fen(pos, start);
        for (const std::string& text : moves) {
            Move m;
            EXPECT_TRUE(parse_move_text(text.c_str(), m)) << text;
            play_game_move(m);
        }
        book_position_key(pos);
        const BookRecord* r = find_book_record(pos.side);
        set_position_from_fen(pos, START_FEN);
        return r;
    }

    // "mkbook" typed in a console session of the real binary; returns the
    // lines it printed.
    std::vector<std::string> build_in_console(const std::string& pgn)
    {
        write_file("book.pgn", pgn);
        EngineProcess console;
        return lines_of(run_to_end(console, {"-c"}, dir, 0, 60000, "mkbook\nquit\n"));
    }

    static void load_built_book()
    {
        std::snprintf(engine_config.book_file, sizeof engine_config.book_file, "book.opn");
        free_book_tables();
        load_book_index();
    }
};

TEST_F(BookBuildTest, RoundTripThroughTheBookProbe)
{
    std::string pgn;
    for (int i = 0; i < 9; i++) pgn += game("1. e4 e5 2. Nf3 Nc6", "1-0");
    for (int i = 0; i < 2; i++) pgn += game("1. e4 e5 2. Nf3 Nf6", "0-1");
    pgn += game("1. e4 e5 2. Nf3 Nc6", "1/2-1/2");
    pgn += game("1. d4 d5", "1-0");  // seen once: pruned
    std::string out = build(pgn);
    EXPECT_EQ(out, ".\nmerging...\npruning...\ndone\n");
    EXPECT_FALSE(std::filesystem::exists("tmp.opn"));
    EXPECT_FALSE(std::filesystem::exists("tmp__0.opn"));
    // The running engine has no book until it is restarted.
    EXPECT_EQ(engine_config.book_file[0], 0);

    std::vector<BookRecord> recs = records("book.opn");
    ASSERT_EQ(recs.size(), 4u);  // after e4, e5, Nf3 and (10 games) Nc6
    for (size_t i = 1; i < recs.size(); i++) {
        bool ordered = recs[i - 1].key16 > recs[i].key16 ||
                       (recs[i - 1].key16 == recs[i].key16 && recs[i - 1].key32 > recs[i].key32);
        EXPECT_TRUE(ordered) << i;
    }
    EXPECT_EQ(std::filesystem::file_size("book.opn"), 4u * 16u);

    load_built_book();
    // After 1. e4, black is to move and won 2 of the 12 games.
    const BookRecord* r = probe({"e4"});
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->wins, 2);
    EXPECT_EQ(r->losses, 9);
    EXPECT_EQ(r->draws, 1);
    EXPECT_EQ(r->key16 & 0x8000, 0);
    r = probe({"e4", "e5"});
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->wins, 9);
    EXPECT_EQ(r->losses, 2);
    EXPECT_EQ(r->draws, 1);
    EXPECT_EQ(r->key16 & 0x8000, 0x8000);
    r = probe({"e4", "e5", "Nf3", "Nc6"});
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->wins + r->losses + r->draws, 10);
    EXPECT_EQ(probe({"e4", "e5", "Nf3", "Nf6"}), nullptr);
    EXPECT_EQ(probe({"d4"}), nullptr);

    // The probe's move choice at the start: e2e4 scores 9.5 of 12 for white.
    capture();
    choose_book_move(game_record->pos, 1);
    std::string table = captured();
    EXPECT_NE(table.find("  e2e4   79.2%       9      2      1"), std::string::npos) << table;
    EXPECT_NE(table.find("book move is e2e4"), std::string::npos) << table;
    EXPECT_EQ(search_state.best_line[1], make_move(12, 28));
}

TEST_F(BookBuildTest, PgnNoiseAddsNothing)
{
    // Comments (also across lines), variations, "$" annotations, ";" and tag
    // lines, glued move numbers and castling with zeros.
    const std::string noisy =
        "[Event \"n\"]\n[Site \"x\"]\n[Result \"1/2-1/2\"]\n"
        "; a comment line\n"
        "1.e4 {a comment [with brackets] 1. d4\nacross lines} e5 $1 (1...c5 2. Nf3) 2.Nf3 Nc6 3.Bc4 Bc5 4.0-0 Nf6 "
        "1/2-1/2\n\n";
    const std::string plain = "[Event \"p\"]\n[Result \"1/2-1/2\"]\n1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. O-O Nf6 1/2-1/2\n\n";
    std::string pgn;
    for (int i = 0; i < 9; i++) pgn += noisy;
    build(pgn);
    std::vector<BookRecord> from_noisy = records("book.opn");
    pgn.clear();
    for (int i = 0; i < 9; i++) pgn += plain;
    build(pgn);
    std::vector<BookRecord> from_plain = records("book.opn");
    ASSERT_EQ(from_plain.size(), 8u);
    ASSERT_EQ(from_noisy.size(), from_plain.size());
    for (size_t i = 0; i < from_plain.size(); i++) {
        EXPECT_EQ(from_noisy[i].key16, from_plain[i].key16);
        EXPECT_EQ(from_noisy[i].key32, from_plain[i].key32);
        EXPECT_EQ(from_noisy[i].draws, 9);
    }
}

TEST_F(BookBuildTest, OnlyTheFirstFiftyMovesCount)
{
    std::vector<std::string> moves = scripted_game(64, 5);
    ASSERT_EQ(moves.size(), 64u);
    std::string text;
    for (size_t i = 0; i < moves.size(); i++) text += (i % 2 == 0 ? std::to_string(i / 2 + 1) + ". " : "") + moves[i] + " ";
    std::string pgn;
    for (int i = 0; i < 9; i++) pgn += game(text, "0-1");
    build(pgn);
    // One record per position after moves 1 to 50 (none repeats in this game).
    EXPECT_EQ(records("book.opn").size(), 50u);
}

TEST_F(BookBuildTest, LastLineWithoutLineFeedKeepsItsLastCharacter)
{
    std::string pgn;
    for (int i = 0; i < 9; i++) pgn += game("1. e4 e5 2. Nf3 Nc6", "1-0");
    pgn += "[Result \"1-0\"]\n1. e4 e5 2. Nf3";  // no line feed after Nf3
    build(pgn);
    load_built_book();
    const BookRecord* r = probe({"e4", "e5", "Nf3"});
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->wins + r->losses + r->draws, 10);
}

TEST_F(BookBuildTest, FlushEveryTwoHundredGamesSumsAcrossBlocks)
{
    std::string pgn;
    for (int i = 0; i < 450; i++) pgn += game(i % 2 ? "1. e4 e5" : "1. e4 c5", i % 3 ? "1-0" : "1/2-1/2");
    std::string out = build(pgn);
    EXPECT_EQ(out, "...\nmerging...\npruning...\ndone\n");
    load_built_book();
    const BookRecord* r = probe({"e4"});
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->losses, 300);
    EXPECT_EQ(r->draws, 150);
    r = probe({"e4", "c5"});
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->wins + r->losses + r->draws, 225);
}

// Without a game to read the old book stays and no "done" is printed.
TEST_F(BookBuildTest, NoGameToReadDestroysNothing)
{
    struct Case {
        const char* what;
        const char* pgn;  // nullptr: no "book.pgn"
        const char* message;
    };
    const Case cases[] = {
        {"missing", nullptr, "could not open book.pgn"},
        {"empty", "", "no game read from book.pgn"},
        {"tags only", "[Event \"t\"]\n[Result \"1-0\"]\n\n[Event \"u\"]\n[Result \"0-1\"]\n", "no game read from book.pgn"},
        {"no moves", "; a comment\n{ 1. e4 }\n(1. d4)\n1-0\n", "no game read from book.pgn"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write_file("book.opn", "old book");
        std::filesystem::remove("book.pgn");
        if (c.pgn) write_file("book.pgn", c.pgn);
        capture();
        EXPECT_EQ(run_mkbook_command(), 0);
        std::string out = captured();
        EXPECT_EQ(out.find("done"), std::string::npos) << out;
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_EQ(read_file("book.opn"), "old book");
        EXPECT_FALSE(std::filesystem::exists("tmp.opn"));
    }
}

TEST_F(BookBuildTest, StaleScratchFileIsIgnored)
{
    // Records left by an interrupted run must not enter the new book.
    std::FILE* f = std::fopen("tmp.opn", "wb");
    BookRecord junk{0x9000, 1234, 50, 50, 50, 0};
    write_book_record(f, junk);
    std::fclose(f);
    std::string pgn;
    for (int i = 0; i < 9; i++) pgn += game("1. e4", "1-0");
    build(pgn);
    std::vector<BookRecord> recs = records("book.opn");
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].losses, 9);
}

TEST_F(BookBuildTest, FailedWritesAreReportedAndKeepTheOldBook)
{
    write_file("book.opn", "old book");
    // The merge output cannot be created: nothing is replaced, no "done".
    std::filesystem::create_directories("tmp__0.opn/blocked");
    std::string pgn;
    for (int i = 0; i < 9; i++) pgn += game("1. e4", "1-0");
    std::string out = build(pgn);
    EXPECT_EQ(out.find("done"), std::string::npos) << out;
    EXPECT_NE(out.find("could not create tmp__0.opn"), std::string::npos) << out;
    EXPECT_EQ(read_file("book.opn"), "old book");

    // A flush into a full device fails when the data is flushed.
    std::filesystem::remove_all("tmp__0.opn");
    if (std::filesystem::exists("/dev/full")) {
        std::filesystem::create_symlink("/dev/full", "tmp__0.opn");
        book_record_count = 1;
        book_cache[0] = BookRecord{0x8001, 1, 1, 0, 0, 0};
        capture();
        EXPECT_EQ(flush_book_records(), 0);
        EXPECT_NE(captured().find("could not write tmp__0.opn"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists("tmp.opn"));
    }
}

// A book from games that start at an opening position (their FEN tag, with
// or without "[SetUp"), holds the positions of those games, not the moves
// replayed from the initial position; a game whose tag holds no position is
// left out and counted.
TEST_F(BookBuildTest, GamesFromAFenTagCountTheirOwnPositions)
{
    const char* opening = "rnbqkbnr/ppp1pppp/8/3p4/3P4/8/PPP1PPPP/RNBQKBNR w KQkq - 0 2";
    std::string pgn;
    for (int i = 0; i < 10; i++)
        pgn += std::string("[Event \"m\"]\n[Result \"1-0\"]\n") + (i % 2 ? "[SetUp \"1\"]\n" : "") + "[FEN \"" +
               opening + "\"]\n\n2. Nf3 {+0.20/10} Nf6 {-0.10/10} 3. c4 {+0.30/10} e6 1-0\n\n";
    pgn += "[Event \"m\"]\n[Result \"1-0\"]\n[FEN \"rnbqkbnr/ppp1pppp/8/3p4 w KQkq - 0 2\"]\n\n2. Nf3 1-0\n\n";
    const std::vector<std::string> lines = build_in_console(pgn);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "games skipped for an unreadable FEN tag: 1"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "done"), 1);
    EXPECT_EQ(records("book.opn").size(), 4u);
    load_built_book();
    EXPECT_EQ(probe({"Nf3"}), nullptr);
    const BookRecord* r = probe({"Nf3"}, opening);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->losses, 10);  // black to move after it lost every game
    r = probe({"Nf3", "Nf6", "c4", "e6"}, opening);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->wins, 10);
}

// Variations (nested, across lines) and ";" comments, also one holding
// moves or a brace, add nothing and end no game early: the book is the one
// built from the bare moves, the first 50 moves of every game in it.
TEST_F(BookBuildTest, VariationsAndLineCommentsAddNothing)
{
    const std::vector<std::string> moves = scripted_game(64, 5);
    ASSERT_EQ(moves.size(), 64u);
    auto games = [&](bool noisy) {
        std::string text;
        for (size_t i = 0; i < moves.size(); i++) {
            text += (i % 2 == 0 ? std::to_string(i / 2 + 1) + ". " : "") + moves[i] + " ";
            if (!noisy) continue;
            if (i == 4) text += "; better 3... Nf6 4. Nc3 {\n";
            if (i == 11) text += "(6... a6 (6... h6 7. h3) 7. a4\n Ra7) $2 ";
            if (i == 30) text += "\n; Qd1 Qd8\n";
        }
        std::string pgn;
        for (int i = 0; i < 9; i++) pgn += game(text, "0-1");
        return pgn;
    };
    const std::vector<std::string> plain_lines = build_in_console(games(false));
    ASSERT_EQ(std::count(plain_lines.begin(), plain_lines.end(), "done"), 1);
    const std::string plain = read_file("book.opn");
    EXPECT_EQ(records("book.opn").size(), 50u);
    const std::vector<std::string> noisy_lines = build_in_console(games(true));
    EXPECT_EQ(std::count(noisy_lines.begin(), noisy_lines.end(), "done"), 1);
    EXPECT_EQ(read_file("book.opn"), plain);
}

}  // namespace
