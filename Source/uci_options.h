// The UCI options, each declared once in one table: its name, type, range
// and where its value lives. The "uci" reply lists the table; "setoption"
// finds an option in it (names without regard to case), checks the value
// and applies it.
#pragma once

enum UciOptionType { OPTION_SPIN, OPTION_CHECK, OPTION_BUTTON, OPTION_STRING };

struct UciOption {
    const char* name;
    UciOptionType type;
    int min = 0;                               // spin: the range the "uci" reply states
    int max = 0;
    double (*current)() = nullptr;             // spin and check: the value now (the reply's default)
    double (*maximum)() = nullptr;             // spin: a measured maximum, in place of `max`
    void (*apply)(int value) = nullptr;        // spin (clamped), check (0 or 1), button (0)
    const char* (*current_text)() = nullptr;   // string: the value now
    void (*apply_text)(const char*) = nullptr; // string
    // `apply` only stores the value; the reply "info string NAME set to
    // VALUE" (the value as stored) follows. Otherwise `apply` replies itself.
    bool plain_reply = false;
};

// The option of that name, compared without regard to case; null when none.
const UciOption* find_uci_option(const char* name);

// Sends the "option name ..." line of every option, in the table's order.
void send_option_lines();

// "setoption" with the name and the one-word value: a spin value must be a
// number (it is clamped to the range), a check value "true" or "false" in
// any case; a value that is neither changes nothing and says so. Unknown
// names are ignored. Without a value word (`value` null) only a button
// acts: the others need a value.
void set_uci_option(const char* name, const char* value);
