#pragma once

#include <string>

namespace vornakle {

// The pieces every failure message of the file and shell operations is made
// of, so that each message reads as text of one language from end to end.

// The language of those messages: German, as the desktop program speaks, or
// English, which a command-line program sets once before it does anything.
enum class MessageLanguage { German, English };
void SetMessageLanguage(MessageLanguage language);

// Of a message's two wordings the one in the language set.
std::string InMessageLanguage(std::string german, std::string english);

// The system's reason for a failure (an errno value) in the language set:
// the common ones in words, in German every other one by its number.
std::string SystemErrorText(int error);

// "<what failed>: <the reason>", the one shape of a failure message with the
// system's reason.
std::string FailureMessage(const std::string& whatFailed, int error);

// A path inside a message: decoded the way the windows show names and stored
// as UTF-8, so that the message stays valid UTF-8, and its own words intact,
// whatever bytes the file system holds.
std::string MessagePath(const std::string& path);

// The same in double quotes.
std::string QuotedMessagePath(const std::string& path);

// What a failed file operation was done to, and what it was.
enum class FailedObject { File, Folder, SymbolicLink, Entry };
enum class FailedAction { Open, Create, Read, Write, Replace, Delete, Move };

// What failed, in the words of the language set: "Datei "x" kann nicht
// geöffnet werden", "cannot open file "x"" (an Entry is named by its path
// alone). The first half of a FailureMessage, or a message of its own.
std::string CannotText(FailedObject object, FailedAction action, const std::string& path);

}  // namespace vornakle
