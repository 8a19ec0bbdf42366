#pragma once

// Names of the product that appear in files the program writes and in its About box.

namespace reedtab {

/// The product's web address: the closing text of the tablature text track and the About box.
inline constexpr const char* kProductWebAddress = "https://reedtab.example/midi";

/// The program's name as it appears in captions and in tracks it creates.
inline constexpr const char* kProductName = "Reedtab Midi";

} // namespace reedtab
