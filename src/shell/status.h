#pragma once
// Status messages: the message table and the status bar (status.cpp).
#include <string>
#include <string_view>

namespace trazel {
struct App;
}

namespace trazel::shell {

// Status message n from the table (key "n>>8 & 15" "." "n & 255" as two hex digits); errors play the
// error sound; a missing entry shows " Undefined message: " and the key.
void show_message(App& app, int n);
void show_text(App& app, std::string_view text, bool error = false, bool sticky = false);
std::string message_key(int n);
// The text of message n without the flag characters ("" when the table has none).
std::string message_text(const App& app, int n);
// The entry under a key ("FW" for a hint), without the flag characters.
std::string message_entry(const App& app, std::string_view key);
// Reads the message table resource into `shell.messages` (phase 1).
void load_messages(App& app);
// Rebuilds the status bar texts (grid and cursor read-outs, the message) and draws the bar.
void refresh_status_bar(App& app);
// Status bar columns of the grid read-out, the cursor read-out and the message.
constexpr int kStatusGridCol = 4;
constexpr int kStatusReadoutCol = 166;
constexpr int kStatusMessageCol = 454;

} // namespace trazel::shell
