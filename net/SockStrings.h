#pragma once

#include <cstdint>
#include <string>

namespace vornakle {

// The N-th field of S (counting from 1), fields being separated by single
// Delimiter characters; empty when S has no such field. Two adjacent
// delimiters enclose an empty field.
std::string NthWord(const std::string& S, char Delimiter, std::int32_t N);

// The 1-based position of the N-th occurrence of Ch in S, or the length of S
// plus 1 when there are fewer. S must not be empty (ERangeError).
std::int32_t NthCharPos(const std::string& S, char Ch, std::int32_t N);

}  // namespace vornakle
