#pragma once

#include <string_view>

// The microphone table holds one record per microphone, keyed by htnum: "0"
// is the first microphone, "19" the twentieth. Readers place records by this
// key, never by the order the table returns them in.
constexpr int kMicTableRows = 20;

// The zero-based microphone an htnum text names, or -1 when it names none
// (anything but the decimal texts "0" to "19").
int MicRowOfHtnum(std::string_view htnum);
