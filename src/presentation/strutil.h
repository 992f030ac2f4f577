// String utilities shared by the configuration, catalog, journalisation and
// transformation code: SQL quoting, list walking, key=value extraction, accent-folding
// upper case, hexadecimal text, rich-text escaping, and a few blank-handling helpers.
//
// Every text is Windows-1252, one character per byte. A "blank" is the space character
// (0x20) only; tabs and other white space are ordinary characters. None of these
// functions throws (beyond std::bad_alloc).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

// Returns text with every occurrence of the character ch replaced by replacement.
// Quotes SQL literals when called with "'" and "''". A ch that is not exactly one
// character matches nothing, so text comes back unchanged.
std::string ReplaceCharInString(const std::string& ch, const std::string& replacement,
                                const std::string& text);

// Returns text with every occurrence of the character ch replaced by two copies of
// replacement ("'" and "'" doubles every quote). A ch that is not exactly one
// character matches nothing.
std::string DoubleCharInString(const std::string& ch, const std::string& replacement,
                               const std::string& text);

// Walks separated lists. Finds the first occurrence of separator in text:
// - not found (or an empty separator): returns "" and leaves text alone;
// - found, consume false: returns the part after the separator, text unchanged;
// - found, consume true: returns the part before the separator and sets text to the
//   part after it.
// A separator longer than one character is matched as a whole.
std::string ExtractStringFromChar(const std::string& separator, std::string& text, bool consume);

// Returns the value of key in a list of key=value pairs separated by ";": the rest of
// text after the first occurrence of key (case-sensitive), trimmed, cut before the first
// ";" and trimmed again. ("UID=", "DSN=x; UID= bob ;PWD=y") gives "bob". Returns ""
// when key does not occur or is empty.
std::string extractArg(const std::string& key, const std::string& text);

// Text shown in place of a password.
inline constexpr std::string_view kMaskedPassword = "********";

// Returns text with the value of every password key of a connection string
// replaced by kMaskedPassword: the keys PWD and PASSWORD in any case, at the
// start of the text or after a character that is not a letter, digit or "_",
// blanks allowed before "=". The value runs to the next ";", line break or
// the end; a value in braces ("PWD={a;b}") runs to its closing brace. Empty
// values stay empty. ("DSN=x;Pwd=s3;UID=u") gives "DSN=x;Pwd=********;UID=u".
// Works on Windows-1252 and UTF-8 text alike.
std::string MaskConnectionPasswords(std::string_view text);

// Upper-cases script text character by character: "a"-"z" become "A"-"Z"; é ê è ë
// become "E"; â ä "A"; ô ö ò "O"; ì î ï "I"; ù û ü "U". Every other character
// (digits, punctuation, capitals, à, ç, á and the like) stays as it is.
std::string QVUCase(const std::string& text);

// Returns the decimal digits "0"-"9" of text, in order ("12.5 KB" gives "125").
std::string ExtractNumberInString(const std::string& text);

// Returns two upper-case hexadecimal digits per character of text, the character's
// Windows-1252 code ("AB" gives "4142", "é" gives "E9").
std::string Text2Hexa(const std::string& text);

// Escapes text for rich text: puts a backslash before every "\", "{" and "}".
std::string ChangeCarSpec(const std::string& text);

// Splits off the first word of a script line. Sets leadingBlanks to the number of
// blanks at the start of text. When the rest of the text holds a blank, returns the
// part before that blank and sets endPosition to the 1-based position, in text, of the
// character after the word ("  CALL PGM" gives "CALL", 7, 2). Otherwise returns "" and
// sets endPosition to 0 ("END" gives "", 0, 0).
std::string GetFirstWord(const std::string& text, int& endPosition, int& leadingBlanks);

// Blank handling and case, as the product's scripts use them.

// Returns text without leading and trailing blanks.
std::string Trim(std::string_view text);
// Returns text without leading and trailing blanks and tabs, as a value typed
// on a command line is read.
std::string TrimBlanksAndTabs(std::string_view text);
// Returns text without leading blanks.
std::string LTrim(std::string_view text);
// Returns text without trailing blanks.
std::string RTrim(std::string_view text);

// Upper-cases every Windows-1252 letter that has a capital: "a"-"z", à-þ (except ÷),
// š, œ, ž and ÿ. ß and µ stay. Identifiers go through it before they are sent.
std::string UCase(std::string_view text);
// Lower-cases every Windows-1252 capital: the inverse of UCase.
std::string LCase(std::string_view text);

// Returns text padded on the right with blanks, or cut, to exactly width characters.
std::string PadRight(std::string_view text, std::size_t width);

// Returns the last width characters of text after padding it on the left with zeros:
// ("42", 5) gives "00042", ("1234567", 5) gives "34567".
std::string ZeroPadLeft(std::string_view text, std::size_t width);

}  // namespace qv
