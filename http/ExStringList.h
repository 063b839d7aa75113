#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vornakle {

// A list of lines that treats each line holding a ":" as a header field: the
// name is the text before the first ":". THttpClient keeps its request line
// and header lines in one.
class TExStringList {
public:
    std::int32_t Count() const { return static_cast<std::int32_t>(Lines.size()); }
    // The line at Index; EListError outside the list.
    const std::string& Strings(std::int32_t Index) const;

    // Appends Line; in a sorted list, inserts it behind the lines whose field
    // name is not greater.
    void Add(const std::string& Line);
    // Replaces the line at Index. A sorted list moves it to its place.
    void Put(std::int32_t Index, const std::string& Line);
    void Delete(std::int32_t Index);
    void Clear() { Lines.clear(); }

    // A sorted list keeps its lines in the order of their field names (lines
    // without ":" have an empty name), compared without regard to letter
    // case, so that IndexOfField can search it by halving. Setting the flag
    // sorts the present lines (stably).
    bool Sorted() const { return SortedLines; }
    void SetSorted(bool Value);

    // Every line followed by CR LF.
    std::string Text() const;

    // Index of the first line whose field name equals Name without regard to
    // letter case (header names are case-insensitive, RFC 7230 section 3.2);
    // -1 when there is none.
    std::int32_t IndexOfField(const std::string& Name) const;
    // Sets field Name to Value: replaces the line of that name in place (the
    // name takes the letter case of this call) or adds one; an empty Value
    // removes the line.
    void SetFieldValue(const std::string& Name, const std::string& Value);

    // The field name of Line: the text before its first ":", empty without
    // one.
    static std::string FieldName(const std::string& Line);
    // Compares two field names byte by byte, ASCII letters without regard to
    // case: below 0, 0 or above 0.
    static int CompareNames(const std::string& Left, const std::string& Right);

private:
    void CheckIndex(std::int32_t Index) const;
    std::size_t SortedPosition(const std::string& Line) const;

    std::vector<std::string> Lines;
    bool SortedLines = false;
};

}  // namespace vornakle
