#include "config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log.h"
#include "params.h"
#include "platform.h"
#include "records.h"
#include "tokenizer.h"

namespace {

constexpr int CONFIG_LINE_SIZE = CONFIG_LINE_LIMIT + 1;
constexpr i16 PST_UNSET = -1000;

constexpr int I16_LOW = -32768;
constexpr int I16_HIGH = 32767;


constexpr int LINE_READ = 1;
constexpr int LINE_OVERLONG = 2;  // read to its end, only its start kept
constexpr int LINE_NONE = 0;      // the end of the file

// Reads the next line whole, byte by byte so that its length is what was
// read; the line feed is consumed and not stored. Of a line longer than
// CONFIG_LINE_LIMIT only the start is kept, and the rest never reads as a
// line of its own.
int read_config_line(ConfigFile& in, char* line)
{
    int length = 0, c;
    bool overlong = false;
    while ((c = std::getc(in.file)) != EOF && c != '\n') {
        if (length < CONFIG_LINE_LIMIT) line[length++] = char(c);
        else overlong = true;
    }
    line[length] = 0;
    if (c == EOF && length == 0) return LINE_NONE;
    in.line_number++;
    return overlong ? LINE_OVERLONG : LINE_READ;
}

void report_overlong_line(const ConfigFile& in)
{
    send_format("info string %s line %d is longer than %d characters, skipped", in.path, in.line_number,
                CONFIG_LINE_LIMIT);
}

// One line for a key whose value lay outside its field and was clamped.
void report_clamped(const ConfigFile& in, const char* key, int low, int high)
{
    send_format("info string %s line %d: %s outside %d..%d, clamped", in.path, in.line_number, key, low, high);
}

// Copies the path of `text` into a path field of PATH_TEXT_LIMIT characters.
// Blanks, "=" and "," before it are skipped. A path in double quotes runs to
// the closing quote (or the end of the line) and keeps its blanks, "=" and
// ",", trimmed at its ends: directories such as "C:\Program Files\..." hold
// them. Any other path ends at the first blank, quote, "=" or ",". No path
// gives an empty text. A longer path is refused aloud and the field keeps
// its value.
void take_path(const ConfigFile& in, const char* key, const char* text, char* field)
{
    while (is_blank(*text) || *text == '=' || *text == ',') text++;
    size_t n = 0;
    if (*text == '"') {
        n = std::strcspn(++text, "\"");
        text = trim_blanks(text, n);
    } else {
        while (text[n] && !is_blank(text[n]) && text[n] != '"' && text[n] != '=' && text[n] != ',') n++;
    }
    if (n > size_t(PATH_TEXT_LIMIT)) {
        send_format("info string %s line %d: %s longer than %d characters, ignored", in.path, in.line_number, key,
                    PATH_TEXT_LIMIT);
        return;
    }
    std::memcpy(field, text, n);
    field[n] = 0;
}

// The text after a path key and the one separator that follows it (a quote
// there opens the path).
const char* after_key(const char* key_start, size_t key_length)
{
    const char* p = key_start + key_length;
    return *p && *p != '"' ? p + 1 : p;
}

bool pst_blocks_complete(const ParamRecord& params)
{
    for (int type = 1; type <= 6; type++)
        for (int sq = 0; sq < 64; sq++)
            for (int phase = 0; phase < 2; phase++)
                if (params.pst[type][sq][phase] == PST_UNSET) return false;
    return true;
}

// Keys that set the global search record rather than the parameter record.
bool store_search_setting(const ConfigFile& in, const char* key, const char* value)
{
    bool clamped = false;
    int low = I16_LOW, high = I16_HIGH;
    if (std::strcmp(key, "BookVariety") == 0)
        search_state.book_variety = i16(read_clamped_number(value, low, high, &clamped));
    else if (std::strcmp(key, "BookDepth") == 0) {
        low = 0, high = 255;
        search_state.book_depth = u8(read_clamped_number(value, low, high, &clamped));
    } else if (std::strcmp(key, "SyzygyProbeDepth5") == 0)
        search_state.probe_depths[0] = i16(read_clamped_number(value, low, high, &clamped));
    else if (std::strcmp(key, "SyzygyProbeDepth6") == 0)
        search_state.probe_depths[1] = i16(read_clamped_number(value, low, high, &clamped));
    else return false;
    if (clamped) report_clamped(in, key, low, high);
    return true;
}

// The name of the piece-square block of `type` and `phase`.
const char* pst_block_name(int type, int phase)
{
    for (const ConfigPstKey& block : config_pst_keys)
        if (block.type == type && block.phase == phase) return block.name;
    return "PST";
}

}  // namespace

void read_config_pst_block(ParamRecord& params, int type, int phase, ConfigFile& in)
{
    char line[CONFIG_LINE_SIZE];
    for (int rank = 7; rank >= 0; rank--) {
        const int read = read_config_line(in, line);
        if (read == LINE_NONE) return;
        if (read == LINE_OVERLONG) {
            // Its squares stay unset: the completeness check says so.
            report_overlong_line(in);
            continue;
        }
        char words[LINE_WORDS][LINE_WORD_SIZE];
        split_words(line, words);
        bool clamped = false;
        for (int f = 0; f < 8 && words[f][0]; f++)
            params.pst[type][8 * rank + f][phase] = i16(read_clamped_number(words[f], I16_LOW, I16_HIGH, &clamped));
        if (clamped) report_clamped(in, pst_block_name(type, phase), I16_LOW, I16_HIGH);
    }
}

bool read_config_file(const char* path, ParamRecord& params)
{
    // Only a regular file: a FIFO of that name would hold up the start.
    const RegularFile opened = open_text_file(path);
    if (opened.status == REGULAR_FILE_NOT_REGULAR) send_format("%s is not a regular file, ignored", path);
    if (!opened.file) return false;
    ConfigFile in;
    in.file = opened.file;
    in.path = path;
    engine_config.builtin_pst = 0;
    for (auto& type : params.pst)
        for (auto& square : type)
            for (auto& value : square) value = PST_UNSET;

    char line[CONFIG_LINE_SIZE];
    for (int read; (read = read_config_line(in, line)) != LINE_NONE;) {
        // A comment is skipped whole, whatever its length.
        if (line[0] == '#' || line[0] == 0) continue;
        if (read == LINE_OVERLONG) {
            report_overlong_line(in);
            continue;
        }
        line[std::strcspn(line, "\r\n")] = 0;
        // Paths are taken before "=" and "," turn into blanks: a quoted path
        // keeps them.
        if (const char* key = std::strstr(line, "SyzygyPath")) {
            take_path(in, "SyzygyPath", after_key(key, 10), search_state.tb_path);
            continue;
        }
        if (const char* key = std::strstr(line, "VantBook")) {
            take_path(in, "VantBook", after_key(key, 8), engine_config.book_file);
            continue;
        }
        for (char* p = line; *p; p++)
            if (*p == '=' || *p == ',') *p = ' ';

        char words[LINE_WORDS][LINE_WORD_SIZE];
        split_words(line, words);
        if (store_search_setting(in, words[0], words[1])) continue;
        if (const ConfigKey* key = find_config_key(words[0])) {
            // Held within the 16-bit field, as the console's "set" holds it.
            i16* field = config_key_field(params, *key);
            bool clamped = false;
            field[0] = i16(read_clamped_number(words[1], I16_LOW, I16_HIGH, &clamped));
            if (key->count == 2) field[1] = i16(read_clamped_number(words[2], I16_LOW, I16_HIGH, &clamped));
            if (clamped) report_clamped(in, key->name, I16_LOW, I16_HIGH);
            continue;
        }
        for (const ConfigPstKey& block : config_pst_keys) {
            if (std::strcmp(words[0], block.name) == 0) {
                read_config_pst_block(params, block.type, block.phase, in);
                break;
            }
        }
    }
    std::fclose(in.file);

    send_format("loaded parameters from %s", path);
    if (!pst_blocks_complete(params)) {
        send_format("file %s contains invalid PST", path);
        // An incomplete set of blocks would put the fill value on the board:
        // keep the built-in shapes instead.
        engine_config.builtin_pst = 1;
        return false;
    }
    return true;
}
