#include "config.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log.h"
#include "params.h"
#include "platform.h"
#include "records.h"

namespace {

constexpr int CONFIG_LINE_SIZE = 255;   // 254 characters and the terminator
constexpr int CONFIG_WORD_SIZE = 128;
constexpr int CONFIG_MAX_WORDS = 10;
constexpr i16 PST_UNSET = -1000;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Decimal value by the leading-number rule (no digits give 0), kept to the
// low 16 bits as the record's fields are.
i16 number_value(const char* word) { return i16(std::strtol(word, nullptr, 10)); }

// Splits at blanks into up to CONFIG_MAX_WORDS words of at most 127
// characters; missing words are empty.
void split_words(const char* text, char words[CONFIG_MAX_WORDS][CONFIG_WORD_SIZE])
{
    for (int w = 0; w < CONFIG_MAX_WORDS; w++) {
        while (is_blank(*text)) text++;
        int n = 0;
        while (*text && !is_blank(*text)) {
            if (n < CONFIG_WORD_SIZE - 1) words[w][n++] = *text;
            text++;
        }
        words[w][n] = 0;
    }
}

// Copies the first word of `text` (separated by blanks and double quotes)
// into a field of `size` bytes, cut to fit and always terminated; no word
// gives an empty text.
void copy_path_word(const char* text, char* field, size_t size)
{
    while (is_blank(*text) || *text == '"') text++;
    size_t n = 0;
    while (text[n] && !is_blank(text[n]) && text[n] != '"' && n < size - 1) n++;
    std::memcpy(field, text, n);
    field[n] = 0;
}

// The text after a path key and the one separator that follows it.
const char* after_key(const char* key_start, size_t key_length)
{
    const char* p = key_start + key_length;
    return *p ? p + 1 : p;
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
bool store_search_setting(const char* key, const char* value)
{
    if (std::strcmp(key, "BookVariety") == 0) search_state.book_variety = number_value(value);
    else if (std::strcmp(key, "BookDepth") == 0) search_state.book_depth = u8(std::strtol(value, nullptr, 10));
    else if (std::strcmp(key, "SyzygyProbeDepth5") == 0) search_state.probe_depths[0] = number_value(value);
    else if (std::strcmp(key, "SyzygyProbeDepth6") == 0) search_state.probe_depths[1] = number_value(value);
    else return false;
    return true;
}

}  // namespace

void read_config_pst_block(ParamRecord& params, int type, int phase, std::FILE* file)
{
    char line[CONFIG_LINE_SIZE];
    for (int rank = 7; rank >= 0; rank--) {
        if (!std::fgets(line, sizeof line, file)) return;
        char words[CONFIG_MAX_WORDS][CONFIG_WORD_SIZE];
        split_words(line, words);
        for (int f = 0; f < 8 && words[f][0]; f++) params.pst[type][8 * rank + f][phase] = number_value(words[f]);
    }
}

int read_config_file(const char* path, ParamRecord& params)
{
    // Only a regular file: a FIFO of that name would hold up the start.
    const RegularFile opened = open_regular_file(path, "r");
    if (opened.status == REGULAR_FILE_NOT_REGULAR) {
        char message[300];
        std::snprintf(message, sizeof message, "%.255s is not a regular file, ignored", path);
        send_line(message);
    }
    std::FILE* file = opened.file;
    if (!file) return 0;
    engine_config.builtin_pst = 0;
    for (auto& type : params.pst)
        for (auto& square : type)
            for (auto& value : square) value = PST_UNSET;

    char line[CONFIG_LINE_SIZE];
    while (std::fgets(line, sizeof line, file)) {
        if (line[0] == '#' || line[0] == '\n' || line[0] == 0) continue;
        line[std::strcspn(line, "\r\n")] = 0;
        for (char* p = line; *p; p++)
            if (*p == '=' || *p == ',') *p = ' ';

        if (const char* key = std::strstr(line, "SyzygyPath")) {
            copy_path_word(after_key(key, 10), search_state.tb_path, sizeof search_state.tb_path);
            continue;
        }
        if (const char* key = std::strstr(line, "VantBook")) {
            copy_path_word(after_key(key, 8), engine_config.book_file, sizeof engine_config.book_file);
            continue;
        }
        char words[CONFIG_MAX_WORDS][CONFIG_WORD_SIZE];
        split_words(line, words);
        if (store_search_setting(words[0], words[1])) continue;
        if (const ConfigKey* key = find_config_key(words[0])) {
            i16* field = config_key_field(params, *key);
            field[0] = number_value(words[1]);
            if (key->count == 2) field[1] = number_value(words[2]);
            continue;
        }
        for (const ConfigPstKey& block : config_pst_keys) {
            if (std::strcmp(words[0], block.name) == 0) {
                read_config_pst_block(params, block.type, block.phase, file);
                break;
            }
        }
    }
    std::fclose(file);

    char message[64 + 4096];
    std::snprintf(message, sizeof message, "loaded parameters from %s", path);
    send_line(message);
    if (!pst_blocks_complete(params)) {
        send_line("file vant.rc contains invalid PST");
        // An incomplete set of blocks would put the fill value on the board:
        // keep the built-in shapes instead.
        engine_config.builtin_pst = 1;
        return 0;
    }
    return 1;
}
