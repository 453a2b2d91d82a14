#pragma once

#include <string>
#include <string_view>

// Every statement the program issues against data.mdb. The texts are kept
// exactly as the controller tools have always issued them; a value placed
// between apostrophes has each apostrophe doubled, so it can neither end its
// literal nor change what the statement selects or deletes.
namespace stmt {

std::string Quote(std::string_view value);

std::string SelectLibrarySorted(); // fills the code list
std::string SelectLibrary();       // duplicate check
std::string InsertModel(std::string_view model, std::string_view baud, std::string_view parity,
                        std::string_view vga, std::string_view video, std::string_view powerOn,
                        std::string_view powerOff);
std::string DeleteModel(std::string_view model);
std::string SelectModel(std::string_view model);
std::string SearchModels(std::string_view upperKeyword, std::string_view lowerKeyword);
std::string SelectByVideo(std::string_view video);
std::string SelectMicTable(); // microphone dialog
std::string SaveMicRow(std::string_view channel, std::string_view dome, std::string_view preset,
                       std::string_view type, std::string_view row); // microphone dialog
std::string StoreMicRow(std::string_view channel, std::string_view dome, std::string_view preset,
                        std::string_view type, std::string_view row); // controller reply
std::string SelectMicTableForSet();                                   // the Set

// Letter case of a search keyword: ASCII letters only, every multi-byte
// character left whole.

} // namespace stmt
