#include "http/ExStringList.h"

#include "platform/AsciiCase.h"
#include "platform/Exception.h"

#include <algorithm>

namespace vornakle {

std::string TExStringList::FieldName(const std::string& Line) {
    const std::size_t colon = Line.find(':');
    return colon == std::string::npos ? std::string() : Line.substr(0, colon);
}

int TExStringList::CompareNames(const std::string& Left, const std::string& Right) {
    const std::size_t common = std::min(Left.size(), Right.size());
    for (std::size_t index = 0; index < common; ++index) {
        const auto left = static_cast<unsigned char>(AsciiLower(Left[index]));
        const auto right = static_cast<unsigned char>(AsciiLower(Right[index]));
        if (left != right) {
            return left < right ? -1 : 1;
        }
    }
    if (Left.size() == Right.size()) {
        return 0;
    }
    return Left.size() < Right.size() ? -1 : 1;
}

void TExStringList::CheckIndex(std::int32_t Index) const {
    if (Index < 0 || Index >= Count()) {
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    }
}

const std::string& TExStringList::Strings(std::int32_t Index) const {
    CheckIndex(Index);
    return Lines[static_cast<std::size_t>(Index)];
}

std::size_t TExStringList::SortedPosition(const std::string& Line) const {
    const std::string name = FieldName(Line);
    const auto place = std::upper_bound(Lines.begin(), Lines.end(), name,
                                        [](const std::string& key, const std::string& line) {
                                            return CompareNames(key, FieldName(line)) < 0;
                                        });
    return static_cast<std::size_t>(place - Lines.begin());
}

void TExStringList::Add(const std::string& Line) {
    if (SortedLines) {
        Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(SortedPosition(Line)), Line);
    } else {
        Lines.push_back(Line);
    }
}

void TExStringList::Put(std::int32_t Index, const std::string& Line) {
    CheckIndex(Index);
    const auto position = static_cast<std::size_t>(Index);
    if (SortedLines && CompareNames(FieldName(Lines[position]), FieldName(Line)) != 0) {
        // A new name may belong elsewhere; the same name keeps its place.
        Lines.erase(Lines.begin() + Index);
        Add(Line);
        return;
    }
    Lines[position] = Line;
}

void TExStringList::Delete(std::int32_t Index) {
    CheckIndex(Index);
    Lines.erase(Lines.begin() + Index);
}

void TExStringList::SetSorted(bool Value) {
    if (Value && !SortedLines) {
        std::stable_sort(Lines.begin(), Lines.end(),
                         [](const std::string& left, const std::string& right) {
                             return CompareNames(FieldName(left), FieldName(right)) < 0;
                         });
    }
    SortedLines = Value;
}

std::string TExStringList::Text() const {
    std::size_t size = 0;
    for (const std::string& line : Lines) {
        size += line.size() + 2;
    }
    std::string text;
    text.reserve(size);
    for (const std::string& line : Lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::int32_t TExStringList::IndexOfField(const std::string& Name) const {
    if (!SortedLines) {
        for (std::size_t index = 0; index < Lines.size(); ++index) {
            const std::size_t colon = Lines[index].find(':');
            if (colon != std::string::npos &&
                CompareNames(Lines[index].substr(0, colon), Name) == 0) {
                return static_cast<std::int32_t>(index);
            }
        }
        return -1;
    }
    std::int32_t low = 0;
    std::int32_t high = Count() - 1;
    while (low <= high) {
        const std::int32_t middle = low + (high - low) / 2;
        const int order = CompareNames(FieldName(Lines[static_cast<std::size_t>(middle)]), Name);
        if (order == 0) {
            return middle;
        }
        if (order < 0) {
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return -1;
}

void TExStringList::SetFieldValue(const std::string& Name, const std::string& Value) {
    const std::int32_t index = IndexOfField(Name);
    if (Value.empty()) {
        if (index >= 0) {
            Delete(index);
        }
        return;
    }
    const std::string line = Name + ": " + Value;
    if (index < 0) {
        Add(line);
    } else {
        Put(index, line);
    }
}

}  // namespace vornakle
