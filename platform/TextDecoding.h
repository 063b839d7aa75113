#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace vornakle {

// The one place where the model's byte strings meet the toolkit's text. The
// model keeps what the files and the file system hold; only the user's eyes
// and the widgets need decoded text.

// File contents and messages (URLs, exception texts): UTF-8 when the bytes are
// valid UTF-8, else Windows-1252, because shortcut files made on Windows are in
// that code page and would otherwise show replacement characters.
QString DisplayText(const std::string& bytes);

// DisplayText as UTF-8 bytes, for messages and output that are no widget's.
std::string DisplayUtf8(const std::string& bytes);

// A file or directory name, decoded the way the file system's locale does.
QString DisplayFileName(const std::string& name);

// The inverse of DisplayText for text the user typed (a new URL): stored as
// UTF-8, which DisplayText reads back unchanged.
std::string TextBytes(const QString& text);

// The inverse of DisplayFileName for a name the user typed.
std::string FileNameBytes(const QString& name);

// Strict UTF-8 validity: no overlong forms, no surrogates, nothing above
// U+10FFFF, no truncated sequence.
bool IsValidUtf8(std::string_view bytes);

}  // namespace vornakle
